import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import QtQuick.Window

// The modal confirmation over the playlist header; its answer goes back to the view code.
// It fills the playlist content; the playlist panel loads it after the window's first frame.
Item {
    id: confirm

    property var mainView

    Popup {
        id: msgPop1
        objectName: "MsgPop1"
        x: 20
        y: 4
        width: confirm.width - 40
        height: 92
        modal: true
        dim: false
        closePolicy: Popup.NoAutoClose
        visible: confirm.mainView ? confirm.mainView.confirmationOpen : false
        // Open, it belongs to the window's input area like the panels.
        onOpened: msgPop1.refreshWindowMask()
        onClosed: msgPop1.refreshWindowMask()
        function refreshWindowMask() {
            const w = msgPop1.Window.window;
            if (w && typeof w.refreshMask === "function")
                w.refreshMask(T.Overlay.overlay);
        }
        padding: 8
        background: Rectangle {
            color: "#F0202020"
            radius: 4
            border.color: "#FFFF7200"
        }

        Text {
            id: lblmsg
            objectName: "lblmsg"
            width: parent.width
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
            spacing: 16
            HudButton {
                objectName: "MsgPop1Yes"
                width: 64
                height: 24
                text: "Yes"
                onClicked: confirm.mainView.answerConfirmation(6)
            }
            HudButton {
                objectName: "MsgPop1No"
                width: 64
                height: 24
                text: "No"
                onClicked: confirm.mainView.answerConfirmation(7)
            }
        }
    }
}
