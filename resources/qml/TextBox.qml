import QtQuick

// Single-line text box that shows a folder; the folder buttons beside it change it. The text
// can be selected and copied, and scrolls to its end, the folder's own name.
Rectangle {
    id: control

    property alias text: input.text
    property alias readOnly: input.readOnly

    radius: 2
    color: "#FF151515"
    border.color: input.activeFocus ? "#FFFF7200" : "#FF5A5A5A"

    TextInput {
        id: input
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        clip: true
        readOnly: true
        selectByMouse: true
        font.pixelSize: 11
        color: "#FFFFFFFF"
        selectionColor: "#FFFF7200"
        selectedTextColor: "#FF000000"
        verticalAlignment: TextInput.AlignVCenter
    }
}
