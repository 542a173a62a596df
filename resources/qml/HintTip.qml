import QtQuick
import QtQuick.Window

// A hint over the item it fills, shown after `delay` ms while `text` is not empty. It is drawn
// on the window's popup layer, above both panels and inside the window, and takes no input.
// Made only while the pointer is over its item (see BitmapButton).
Item {
    id: tip

    property string text
    property int delay: 600
    readonly property Item overlay: Window.window && Window.window.popupLayer ? Window.window.popupLayer : tip

    Timer {
        interval: tip.delay
        running: tip.text.length > 0
        onTriggered: bubble.show()
    }

    Rectangle {
        id: bubble
        objectName: "hintTip"
        readonly property bool joinsInputArea: false
        property bool shown: false
        // Above the item, centred on it, kept inside the window; below the item when there is
        // no room above.
        function show() {
            const centre = tip.mapToItem(tip.overlay, tip.width / 2, 0);
            x = Math.max(0, Math.min(centre.x - width / 2, tip.overlay.width - width));
            const above = centre.y - height - 3;
            y = above >= 0 ? above : centre.y + tip.height + 3;
            shown = true;
        }
        parent: tip.overlay
        z: 2
        visible: shown && tip.text.length > 0
        width: hintText.implicitWidth + 12
        height: hintText.implicitHeight + 8
        color: "#FFFFFFFF"
        border.color: "#FF7F7F7F"
        Text {
            id: hintText
            anchors.centerIn: parent
            text: tip.text
            font.pixelSize: 12
            color: "#FF000000"
        }
    }
}
