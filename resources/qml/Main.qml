import QtQuick
import QtQuick.Window

// The main window: borderless and transparent, so that only its two floating panels show.
// `zylMain` is the main-window controller, `mainView` the view code that answers for it
// (popups, menu, minimising to the tray).
Window {
    id: window
    objectName: "ZylMain"

    required property var zylMain
    required property var mainView

    width: 1008
    height: 768
    x: Math.round((Screen.desktopAvailableWidth - width) / 2) + Screen.virtualX
    y: Math.round((Screen.desktopAvailableHeight - height) / 2) + Screen.virtualY
    flags: Qt.Window | Qt.FramelessWindowHint
    color: "#00000000"
    title: "Lirvo4"

    // Playlist panel: shows by growing from 5 x 5 (height first, then width), hides by
    // shrinking and fading. Nothing happens while the confirmation popup is open.
    function btn_minClick() {
        if (mainView && mainView.confirmationOpen)
            return;
        if (listBox.visible) {
            listShow.stop();
            listHide.restart();
        } else {
            listHide.stop();
            listShow.restart();
        }
    }

    // Dragging the window by its panels; the manual move serves where the window system
    // offers no move of its own.
    property point dragOrigin
    property bool manualDrag: false
    function startDrag(globalPos) {
        manualDrag = !window.startSystemMove();
        dragOrigin = globalPos;
    }
    function followDrag(globalPos) {
        if (!manualDrag)
            return;
        window.x += globalPos.x - dragOrigin.x;
        window.y += globalPos.y - dragOrigin.y;
        dragOrigin = globalPos;
    }

    onVisibleChanged: if (visible) mainBox.startUp()

    // Called by the program after the window's first frame: the parts that frame does not show.
    function finishStart() {
        mainBox.finishStart();
        listBox.finishStart();
    }

    // Only the panels and the open popups take the pointer; elsewhere clicks reach the windows
    // below. The panel areas leave room for the panels' overshoot while they grow and for the
    // turn's perspective. An open popup (a drop-down list, the confirmation) may reach past
    // them, so its own rectangle joins the area while it is open (an item of the popup layer
    // whose `joinsInputArea` is true); popups call refreshMask() when they open, close or
    // change size.
    readonly property Item popupLayer: popupLayerItem
    function refreshMask() {
        if (!mainView)
            return;
        const rects = [
            Qt.rect(listBox.centreX - 230, listBox.centreY - 250, 460, 500),
            Qt.rect(mainBox.centreX - 230, mainBox.centreY - 90, 500, 180)
        ];
        const shown = popupLayerItem.children;
        for (let i = 0; i < shown.length; ++i) {
            const item = shown[i];
            if (item.joinsInputArea !== true || !item.visible || item.width <= 0 || item.height <= 0)
                continue;
            const p = item.mapToItem(null, 0, 0);
            rects.push(Qt.rect(p.x, p.y, item.width, item.height));
        }
        mainView.setWindowMask(rects);
    }
    Component.onCompleted: refreshMask()

    Item {
        id: dxScene1
        objectName: "dxScene1"
        anchors.fill: parent

        PlaylistPanel {
            id: listBox
            objectName: "ListBox"
            centreX: 504
            centreY: 304
            width: 380
            height: 423
            visible: false
            zylMain: window.zylMain
            mainView: window.mainView
            onDragStarted: p => window.startDrag(p)
            onDragMoved: p => window.followDrag(p)
        }

        PlayerPanel {
            id: mainBox
            objectName: "MainBox"
            centreX: 504
            centreY: 573
            width: 380
            height: 115
            zylMain: window.zylMain
            mainView: window.mainView
            onDragStarted: p => window.startDrag(p)
            onDragMoved: p => window.followDrag(p)
            onPlaylistToggleRequested: window.btn_minClick()
            onMenuRequested: (gx, gy) => window.mainView.popupMainMenu(Math.round(gx), Math.round(gy))
            onCloseRequested: window.mainView.minimizeToTray()
        }
    }

    // Drop-down lists, the confirmation and hints are drawn here, above both panels.
    Item {
        id: popupLayerItem
        objectName: "popupLayer"
        anchors.fill: parent
    }

    SequentialAnimation {
        id: listHide
        objectName: "btn_minClickHide"
        ParallelAnimation {
            NumberAnimation { target: listBox; property: "width"; to: 338.4; duration: 300; easing.type: Easing.Linear }
            NumberAnimation { target: listBox; property: "height"; to: 304; duration: 300; easing.type: Easing.InBack }
        }
        NumberAnimation { target: listBox; property: "opacity"; to: 0.2; duration: 500; easing.type: Easing.Linear }
        ScriptAction { script: listBox.visible = false }
    }
    SequentialAnimation {
        id: listShow
        objectName: "btn_minClickShow"
        ScriptAction {
            script: {
                listBox.width = 5;
                listBox.height = 5;
                listBox.opacity = 1;
                listBox.visible = true;
            }
        }
        NumberAnimation { target: listBox; property: "height"; to: 423; duration: 500; easing.type: Easing.OutBack }
        NumberAnimation { target: listBox; property: "width"; to: 380; duration: 500; easing.type: Easing.OutBack }
    }
}
