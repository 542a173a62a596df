import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Window

// Compact drop-down list in the dark style of the settings face.
ComboBox {
    id: control
    font.pixelSize: 12
    leftPadding: 4
    rightPadding: 14
    topPadding: 0
    bottomPadding: 0
    contentItem: Text {
        text: control.displayText
        font: control.font
        color: "#FFFFFFFF"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    indicator: Text {
        x: control.width - width - 3
        anchors.verticalCenter: parent.verticalCenter
        text: "▾"
        color: "#FFBCB9B9"
        font.pixelSize: 10
    }
    background: Rectangle {
        radius: 3
        color: "#FF2A2A2A"
        border.color: control.hovered ? "#FFFF7200" : "#FF5A5A5A"
    }
    delegate: ItemDelegate {
        required property int index
        required property var modelData
        width: Math.max(control.width, 100)
        height: 22
        padding: 4
        highlighted: control.highlightedIndex === index
        contentItem: Text {
            text: modelData
            font: control.font
            color: "#FFFFFFFF"
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            color: highlighted ? "#FFFF7200" : "#FF202020"
        }
    }
    // The open list joins the window's input area, which may not reach down that far.
    Connections {
        target: control.popup
        function onOpened() { control.refreshWindowMask(); }
        function onClosed() { control.refreshWindowMask(); }
        function onHeightChanged() { if (control.popup.visible) control.refreshWindowMask(); }
        function onYChanged() { if (control.popup.visible) control.refreshWindowMask(); }
    }
    function refreshWindowMask() {
        const w = control.Window.window;
        if (w && typeof w.refreshMask === "function")
            w.refreshMask(T.Overlay.overlay);
    }
    popup.background: Rectangle {
        color: "#FF202020"
        border.color: "#FF5A5A5A"
    }
}
