import QtQuick

// A flat panel placed by its centre that can move in depth and turn about its vertical axis.
// The turn is drawn with a perspective projection; depth shrinks the panel as a camera
// at `cameraDistance` would see it.
Item {
    id: layer

    property real centreX: 0
    property real centreY: 0
    property real positionZ: 0
    property real rotateAngleY: 0
    readonly property real cameraDistance: 1024

    x: centreX - width / 2
    y: centreY - height / 2

    transform: [
        Rotation {
            origin.x: layer.width / 2
            origin.y: layer.height / 2
            axis { x: 0; y: 1; z: 0 }
            angle: layer.rotateAngleY
        },
        Scale {
            origin.x: layer.width / 2
            origin.y: layer.height / 2
            xScale: layer.cameraDistance / (layer.cameraDistance + layer.positionZ)
            yScale: xScale
        }
    ]
}
