import QtQuick
import QtQuick.Controls.Basic

// Small text button of the settings face.
Button {
    id: control
    padding: 0
    font.pixelSize: 12
    hoverEnabled: true
    contentItem: Text {
        text: control.text
        font: control.font
        color: "#FFFFFFFF"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 3
        color: control.down ? "#FF505050" : (control.hovered ? "#FF3C3C3C" : "#FF2A2A2A")
        border.color: control.activeFocus ? "#FFFF7200" : "#FF5A5A5A"
        border.width: 1
    }
}
