import QtQuick
import QtQuick.Window

// The modal confirmation over the playlist header; its answer goes back to the view code.
// It fills the playlist content; the playlist panel loads it after the window's first frame.
// Open, it is drawn on the window's popup layer over a catcher that takes every other press,
// hover and wheel turn in the window, and it joins the window's input area.
Item {
    id: confirm

    property var mainView
    readonly property bool open: mainView ? mainView.confirmationOpen : false
    readonly property Item overlay: Window.window && Window.window.popupLayer ? Window.window.popupLayer : confirm

    MouseArea {
        parent: confirm.overlay
        anchors.fill: parent
        z: 5
        visible: confirm.open
        readonly property bool joinsInputArea: false
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel => wheel.accepted = true
    }

    Rectangle {
        id: msgPop1
        objectName: "MsgPop1"
        readonly property bool joinsInputArea: true
        parent: confirm.overlay
        z: 6
        visible: confirm.open
        width: confirm.width - 40
        height: 92
        color: "#F0202020"
        radius: 4
        border.color: "#FFFF7200"
        onVisibleChanged: {
            if (visible) {
                const p = confirm.mapToItem(confirm.overlay, 20, 4);
                x = p.x;
                y = p.y;
            }
            const w = confirm.Window.window;
            if (w && typeof w.refreshMask === "function")
                w.refreshMask();
        }

        Text {
            id: lblmsg
            objectName: "lblmsg"
            x: 8
            y: 8
            width: parent.width - 16
            height: 40
            text: confirm.mainView ? confirm.mainView.confirmationText : ""
            color: "#FFFFFFFF"
            font.pixelSize: 13
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 8
            spacing: 16
            HudButton {
                objectName: "MsgPop1Yes"
                width: 64
                height: 24
                text: "是"
                onClicked: confirm.mainView.answerConfirmation(6)
            }
            HudButton {
                objectName: "MsgPop1No"
                width: 64
                height: 24
                text: "否"
                onClicked: confirm.mainView.answerConfirmation(7)
            }
        }
    }
}
