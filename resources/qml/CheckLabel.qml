import QtQuick

// Check box with white text and a small square mark. A click (or Space) only reports itself:
// the owner decides the tick and sets `checked`.
Item {
    id: control

    property alias text: label.text
    property bool checked: false
    readonly property bool hovered: area.containsMouse
    signal clicked()

    activeFocusOnTab: true

    Rectangle {
        x: 0
        anchors.verticalCenter: parent.verticalCenter
        width: 13
        height: 13
        radius: 2
        color: "#FF2A2A2A"
        border.color: control.hovered || control.activeFocus ? "#FFFF7200" : "#FF8A8A8A"
        Rectangle {
            anchors.centerIn: parent
            width: 7
            height: 7
            radius: 1
            color: "#FFFF7200"
            visible: control.checked
        }
    }
    Text {
        id: label
        x: 17
        width: parent.width - x
        height: parent.height
        font.pixelSize: 12
        color: "#FFFFFFFF"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onPressed: control.forceActiveFocus(Qt.MouseFocusReason)
        onClicked: control.clicked()
    }
    Keys.onSpacePressed: control.clicked()
}
