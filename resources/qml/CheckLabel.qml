import QtQuick
import QtQuick.Controls.Basic

// Check box with white text and a small square mark.
CheckBox {
    id: control
    font.pixelSize: 12
    padding: 0
    spacing: 4
    indicator: Rectangle {
        x: 0
        anchors.verticalCenter: parent.verticalCenter
        width: 13
        height: 13
        radius: 2
        color: "#FF2A2A2A"
        border.color: control.hovered ? "#FFFF7200" : "#FF8A8A8A"
        Rectangle {
            anchors.centerIn: parent
            width: 7
            height: 7
            radius: 1
            color: "#FFFF7200"
            visible: control.checked
        }
    }
    contentItem: Text {
        leftPadding: 17
        text: control.text
        font: control.font
        color: "#FFFFFFFF"
        verticalAlignment: Text.AlignVCenter
    }
}
