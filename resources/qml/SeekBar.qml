import QtQuick

// The progress bar along the bottom edge of the player face. It is invisible (opacity 0)
// until the pointer is over it, then fades in within half a second; a press anywhere on it
// seeks (`pressedAt` gives the point in the bar's own coordinates).
Item {
    id: bar

    property real maximum: 100
    property real value: 0
    signal pressedAt(real x, real width)

    opacity: 0

    Rectangle {
        anchors.fill: parent
        color: "#FF262626"
    }
    Rectangle {
        width: bar.maximum > 0 ? Math.min(1, Math.max(0, bar.value / bar.maximum)) * bar.width : 0
        height: parent.height
        color: "#FFFF7200"
    }

    NumberAnimation {
        id: fade
        target: bar
        property: "opacity"
        duration: 500
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        acceptedButtons: Qt.AllButtons
        onEntered: {
            fade.stop();
            fade.to = 1;
            fade.start();
        }
        onExited: {
            fade.stop();
            fade.to = 0;
            fade.start();
        }
        onPressed: mouse => bar.pressedAt(mouse.x, bar.width)
    }
}
