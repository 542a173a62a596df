import QtQuick
import QtQuick.Controls.Basic

// Single-line text box that shows a folder; the folder buttons beside it change it.
TextField {
    id: control
    font.pixelSize: 11
    color: "#FFFFFFFF"
    readOnly: true
    selectByMouse: true
    leftPadding: 4
    rightPadding: 4
    topPadding: 0
    bottomPadding: 0
    verticalAlignment: Text.AlignVCenter
    background: Rectangle {
        radius: 2
        color: "#FF151515"
        border.color: "#FF5A5A5A"
    }
}
