import QtQuick

// Picture button: centred picture inside an inner margin of 2, a hint on hover and, when
// `hoverFade` is set, an opacity that rises to 1 while the pointer is over it.
Item {
    id: button

    property url source
    property real pictureSize: 20
    property string hint
    property bool hoverFade: false
    // Opacity the enter animation starts from; NaN starts from the current opacity.
    property real enterFrom: NaN
    readonly property alias hovered: area.containsMouse
    signal clicked(real mouseX, real mouseY)


    Image {
        id: picture
        anchors.centerIn: parent
        width: Math.min(button.pictureSize, button.width - 4)
        height: Math.min(button.pictureSize, button.height - 4)
        source: button.source
        sourceSize: Qt.size(width * 2, height * 2)
        fillMode: Image.PreserveAspectFit
        smooth: true
    }

    NumberAnimation {
        id: fadeIn
        target: button
        property: "opacity"
        to: 1
        duration: 200
    }
    NumberAnimation {
        id: fadeOut
        target: button
        property: "opacity"
        to: 0.5
        duration: 200
    }

    // The hint, made only while the pointer is over the button.
    Loader {
        anchors.fill: parent
        active: button.hint.length > 0 && area.containsMouse
        source: "HintTip.qml"
        onLoaded: item.text = Qt.binding(() => button.hint)
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: mouse => button.clicked(mouse.x, mouse.y)
        onEntered: {
            if (!button.hoverFade)
                return;
            fadeOut.stop();
            fadeIn.from = isNaN(button.enterFrom) ? button.opacity : button.enterFrom;
            fadeIn.restart();
        }
        onExited: {
            if (!button.hoverFade)
                return;
            fadeIn.stop();
            fadeOut.from = button.opacity;
            fadeOut.restart();
        }
    }
}
