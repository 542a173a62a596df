import QtQuick

// Small text button of the settings face and the confirmation: a click, or Space while it has
// the focus, which a press gives it.
Rectangle {
    id: control

    property alias text: label.text
    readonly property bool hovered: area.containsMouse
    readonly property bool down: area.pressed
    signal clicked()

    activeFocusOnTab: true
    radius: 3
    color: down ? "#FF505050" : (hovered ? "#FF3C3C3C" : "#FF2A2A2A")
    border.color: activeFocus ? "#FFFF7200" : "#FF5A5A5A"
    border.width: 1

    Text {
        id: label
        anchors.fill: parent
        font.pixelSize: 12
        color: "#FFFFFFFF"
        horizontalAlignment: Text.AlignHCenter
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
