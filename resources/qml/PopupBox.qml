import QtQuick
import QtQuick.Window

// Compact drop-down list in the dark style of the settings face. `currentIndex` is the owner's:
// choosing an entry only emits activated(index). The open list is drawn on the window's popup
// layer, so it may reach past the panel, and joins the window's input area while it is open.
Rectangle {
    id: control

    property var model: []
    property int currentIndex: -1
    readonly property int count: model ? model.length : 0
    readonly property string displayText: currentIndex >= 0 && currentIndex < count ? model[currentIndex] : ""
    readonly property bool hovered: area.containsMouse
    readonly property Item popup: listPopup
    readonly property Item overlay: Window.window && Window.window.popupLayer ? Window.window.popupLayer : control
    signal activated(int index)

    function open() {
        listPopup.place();
        list.highlightedIndex = currentIndex;
        list.positionViewAtIndex(Math.max(0, currentIndex), ListView.Contain);
        listPopup.opened = true;
    }
    function close() { listPopup.opened = false; }
    function choose(index) {
        close();
        if (index >= 0 && index < count)
            activated(index);
    }

    activeFocusOnTab: true
    radius: 3
    color: "#FF2A2A2A"
    border.color: hovered || activeFocus ? "#FFFF7200" : "#FF5A5A5A"

    Text {
        x: 4
        width: parent.width - 18
        height: parent.height
        text: control.displayText
        font.pixelSize: 12
        color: "#FFFFFFFF"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    Text {
        x: control.width - width - 3
        anchors.verticalCenter: parent.verticalCenter
        text: "▾"
        color: "#FFBCB9B9"
        font.pixelSize: 10
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onPressed: control.forceActiveFocus(Qt.MouseFocusReason)
        onClicked: listPopup.opened ? control.close() : control.open()
    }
    function step(by) {
        const next = currentIndex + by;
        if (next >= 0 && next < count && next !== currentIndex)
            activated(next);
    }
    // Keys: Space opens the list or takes its marked entry; Up and Down move the mark in the
    // open list, or else choose the neighbouring entry at once.
    function moveBy(by) {
        if (listPopup.opened)
            list.highlightedIndex = Math.max(0, Math.min(count - 1, list.highlightedIndex + by));
        else
            step(by);
    }
    Keys.onSpacePressed: {
        if (listPopup.opened)
            control.choose(list.highlightedIndex);
        else
            control.open();
    }
    Keys.onUpPressed: moveBy(-1)
    Keys.onDownPressed: moveBy(1)
    Keys.onEscapePressed: event => {
        if (listPopup.opened)
            control.close();
        else
            event.accepted = false;
    }
    // A press anywhere else in the window closes the open list and goes on to what is under it.
    MouseArea {
        parent: control.overlay
        anchors.fill: parent
        z: 3
        visible: listPopup.opened
        readonly property bool joinsInputArea: false
        onPressed: mouse => {
            // The box's own click closes the list itself.
            if (!control.contains(mapToItem(control, mouse.x, mouse.y)))
                control.close();
            mouse.accepted = false;
        }
    }
    onVisibleChanged: if (!visible) close()

    Rectangle {
        id: listPopup
        objectName: control.objectName + "List"
        readonly property bool joinsInputArea: true
        readonly property Item contentItem: list
        property bool opened: false
        // Below the box, or above it when the window ends first.
        function place() {
            const below = control.mapToItem(control.overlay, 0, control.height);
            const above = control.mapToItem(control.overlay, 0, -height).y;
            x = Math.max(0, Math.min(below.x, control.overlay.width - width));
            y = below.y + height <= control.overlay.height || above < 0 ? below.y : above;
        }
        parent: control.overlay
        z: 4
        visible: opened
        width: Math.max(control.width, 100)
        height: Math.min(list.contentHeight + 2, control.overlay.height)
        color: "#FF202020"
        border.color: "#FF5A5A5A"
        onVisibleChanged: control.refreshWindowMask()
        onHeightChanged: if (visible) { place(); control.refreshWindowMask(); }

        ListView {
            id: list
            property int highlightedIndex: -1
            anchors.fill: parent
            anchors.margins: 1
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: control.model
            delegate: Rectangle {
                id: entry
                required property int index
                required property var modelData
                width: list.width
                height: 22
                color: list.highlightedIndex === index ? "#FFFF7200" : "#FF202020"
                Text {
                    x: 4
                    width: parent.width - 8
                    height: parent.height
                    text: entry.modelData
                    font.pixelSize: 12
                    color: "#FFFFFFFF"
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
                MouseArea {
                    anchors.fill: parent
                    hoverEnabled: true
                    onEntered: list.highlightedIndex = entry.index
                    onClicked: control.choose(entry.index)
                }
            }
        }
    }
    function refreshWindowMask() {
        const w = control.Window.window;
        if (w && typeof w.refreshMask === "function")
            w.refreshMask();
    }
}
