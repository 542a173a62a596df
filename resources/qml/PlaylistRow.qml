import QtQuick

// One playlist row: number, caption, the hidden title and artist, and the delete button that
// shows on the row under the pointer. The playing row is taller, yellow and bold.
Item {
    id: row

    required property int index
    required property int number
    required property string caption
    required property string title
    required property string artist
    required property string path
    required property bool playing
    required property bool deleteVisible
    required property bool selected

    property var zylMain
    property real numberWidth: 30
    readonly property string tagText: path
    readonly property int mark: playing ? 1 : 0

    width: ListView.view ? ListView.view.width : 380
    height: playing ? 35 : 25

    Rectangle {
        anchors.fill: parent
        color: row.selected ? "#FF1E1E1E" : "transparent"
    }

    Item {
        id: inner
        anchors.fill: parent
        anchors.topMargin: 5

        Text {
            id: lno
            objectName: "lno"
            x: 0
            width: row.numberWidth
            height: parent.height
            leftPadding: 6
            verticalAlignment: Text.AlignVCenter
            horizontalAlignment: Text.AlignLeft
            font.pixelSize: 12
            color: row.playing ? "#FFF7FD7B" : "#FFFFFFFF"
            text: String(row.number)
        }
        Text {
            id: caption
            objectName: "caption"
            x: row.numberWidth
            width: parent.width - row.numberWidth - (loubtn.visible ? loubtn.width : 0)
            height: parent.height
            verticalAlignment: Text.AlignVCenter
            horizontalAlignment: Text.AlignLeft
            wrapMode: Text.NoWrap
            elide: Text.ElideRight
            font.pixelSize: 12
            font.bold: row.playing
            color: row.playing ? "#FFF7FD7B" : "#FFBCB9B9"
            text: row.caption

            HoverHandler { id: captionHover }
            // The whole caption as a hint, made only while the pointer is over it.
            Loader {
                anchors.fill: parent
                active: captionHover.hovered && caption.text.length > 0
                source: "HintTip.qml"
                onLoaded: {
                    item.delay = 800;
                    item.text = Qt.binding(() => caption.text);
                }
            }
        }
        Text {
            objectName: "title"
            visible: false
            wrapMode: Text.NoWrap
            text: row.title
        }
        Text {
            objectName: "songer"
            visible: false
            wrapMode: Text.NoWrap
            text: row.artist
        }
        Item {
            id: loubtn
            objectName: "loubtn"
            visible: row.deleteVisible
            anchors.right: parent.right
            width: 30
            height: parent.height
            BitmapButton {
                objectName: "loubtnButton"
                anchors.centerIn: parent
                width: 20
                height: 20
                pictureSize: 20
                source: Pictures.bmpList[15]
                hint: "删除"
                onClicked: row.zylMain.pmdel_delselectClick()
            }
        }
    }
}
