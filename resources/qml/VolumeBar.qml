import QtQuick

// Volume track bar, 0 to 100. Only the thumb takes the mouse; its value follows the drag
// (tracking), and `moved` reports every change made by the user.
Item {
    id: bar

    property real value: 65
    readonly property real minimum: 0
    readonly property real maximum: 100
    signal moved(real value)

    readonly property real travel: width - thumb.width

    Rectangle {
        id: groove
        anchors.verticalCenter: parent.verticalCenter
        x: thumb.width / 2
        width: bar.travel
        height: 3
        radius: 1.5
        color: "#FF4A4A4A"
        Rectangle {
            width: thumb.x + thumb.width / 2 - groove.x
            height: parent.height
            radius: parent.radius
            color: "#FFFF7200"
        }
    }

    Rectangle {
        id: thumb
        objectName: "tbrVThumb"
        width: 11
        height: 11
        radius: 5.5
        anchors.verticalCenter: parent.verticalCenter
        x: bar.travel * (bar.value - bar.minimum) / (bar.maximum - bar.minimum)
        color: thumbArea.pressed ? "#FFFFFFFF" : "#FFDCDCDC"
        border.color: "#FFFF7200"

        MouseArea {
            id: thumbArea
            anchors.fill: parent
            anchors.margins: -3
            cursorShape: Qt.PointingHandCursor
            property real grabX: 0
            onPressed: mouse => grabX = mouse.x
            onPositionChanged: mouse => {
                if (!pressed)
                    return;
                const px = thumb.x + mouse.x - grabX;
                const v = Math.max(bar.minimum, Math.min(bar.maximum,
                                   bar.minimum + px / bar.travel * (bar.maximum - bar.minimum)));
                if (v !== bar.value) {
                    bar.value = v;
                    bar.moved(v);
                }
            }
        }
    }
}
