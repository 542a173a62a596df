import QtQuick

// The playlist panel: header with title, "清空列表" and the add button; the list of songs or,
// while it is empty, the invitation to add songs; and the confirmation popup over the header.
// The content keeps its design size and is scaled with the panel while it grows or shrinks.
Layer3D {
    id: panel

    property var zylMain
    property var mainView
    // Called on a press on the panel's background (the window is dragged from there).
    signal dragStarted(point globalPos)
    signal dragMoved(point globalPos)

    readonly property real designWidth: 380
    readonly property real designHeight: 423

    // Makes what the window's first frame does not show (after that frame).
    function finishStart() {
        if (confirmation.status === Loader.Null)
            confirmation.setSource("ConfirmPopup.qml", { mainView: panel.mainView });
    }

    Item {
        id: content
        width: panel.designWidth
        height: panel.designHeight
        transform: Scale {
            xScale: panel.width / panel.designWidth
            yScale: panel.height / panel.designHeight
        }

        Rectangle {
            anchors.fill: parent
            color: "#FF000000"
            MouseArea {
                anchors.fill: parent
                onPressed: mouse => panel.dragStarted(mapToGlobal(mouse.x, mouse.y))
                onPositionChanged: mouse => panel.dragMoved(mapToGlobal(mouse.x, mouse.y))
            }
        }

        Item {
            id: musicListTop
            objectName: "MusicListTop"
            width: parent.width
            height: 50

            Text {
                objectName: "lblListTitle"
                x: 14
                anchors.verticalCenter: parent.verticalCenter
                text: "歌曲列表"
                color: "#FFFF7200"
                font.pixelSize: 16
                font.bold: true
            }
            Text {
                id: lblClearList
                objectName: "lblClearList"
                x: 270
                anchors.verticalCenter: parent.verticalCenter
                text: "清空列表"
                color: "#FFFFFFFF"
                font.pixelSize: 12
                font.bold: true
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: panel.zylMain.pmdel_clearlistClick()
                }
            }
            BitmapButton {
                objectName: "BitmapButton1"
                x: 340
                anchors.verticalCenter: parent.verticalCenter
                width: 26
                height: 26
                pictureSize: 22
                source: Pictures.add
                hint: "添加歌曲"
                onClicked: panel.zylMain.lbl_openClick()
            }
            Rectangle {
                anchors.bottom: parent.bottom
                x: 10
                width: parent.width - 20
                height: 1
                color: "#FF2A2A2A"
            }
        }

        ListView {
            id: lstDefault
            objectName: "lstDefault"
            y: musicListTop.height
            width: parent.width
            height: parent.height - musicListTop.height - 6
            clip: true
            visible: panel.zylMain ? panel.zylMain.playlistVisible : count > 0
            boundsBehavior: Flickable.StopAtBounds
            model: panel.zylMain ? panel.zylMain.playlist : null
            currentIndex: panel.zylMain && panel.zylMain.playlist ? panel.zylMain.playlist.selectedIndex : -1
            highlightFollowsCurrentItem: false
            // The number column is as wide as the largest row number needs.
            readonly property real numberWidth: Math.max(30, Math.ceil(numberMetrics.advanceWidth) + 12)
            delegate: PlaylistRow {
                zylMain: panel.zylMain
                numberWidth: lstDefault.numberWidth
            }

            TextMetrics {
                id: numberMetrics
                font.pixelSize: 12
                text: String(Math.max(1, lstDefault.count))
            }

            // The row under a point given in `item`'s coordinates. A handler declared in the
            // list lives in its content item, whose coordinates already include the scrolling.
            function rowAt(item, position) {
                const p = lstDefault.contentItem.mapFromItem(item, position.x, position.y);
                return lstDefault.indexAt(p.x, p.y);
            }

            Connections {
                target: lstDefault.model
                function onPlayingRowStarted(index) {
                    lstDefault.positionViewAtIndex(index, ListView.Contain);
                }
            }

            // A deleted row fades out in 0.4 s before the rows below it move up.
            remove: Transition {
                NumberAnimation {
                    property: "opacity"
                    to: 0
                    duration: 400
                    easing.type: Easing.Linear
                }
            }
            displaced: Transition {
                SequentialAnimation {
                    PauseAnimation {
                        duration: 400
                    }
                    NumberAnimation {
                        property: "y"
                        duration: 0
                    }
                }
            }

            // The row under the pointer shows its delete button and becomes the selected row.
            HoverHandler {
                id: rowHover
                onPointChanged: {
                    const i = lstDefault.rowAt(rowHover.parent, point.position);
                    if (i >= 0 && panel.zylMain)
                        panel.zylMain.lstDefaultMouseMove(i);
                }
            }
            TapHandler {
                id: rowTap
                acceptedButtons: Qt.LeftButton
                onDoubleTapped: eventPoint => {
                    const i = lstDefault.rowAt(rowTap.parent, eventPoint.position);
                    if (i >= 0 && panel.zylMain) {
                        panel.zylMain.lstDefaultMouseMove(i);
                        panel.zylMain.plst_listItemDblClick();
                    }
                }
            }
        }

        Item {
            id: layAddMsg
            objectName: "layAddMsg"
            y: musicListTop.height
            width: parent.width
            height: parent.height - musicListTop.height
            visible: panel.zylMain ? !panel.zylMain.playlistVisible : lstDefault.count === 0

            Image {
                id: emptyPicture
                objectName: "imgAddMsg"
                anchors.horizontalCenter: parent.horizontalCenter
                y: 90
                width: 96
                height: 96
                sourceSize: Qt.size(192, 192)
                source: Pictures.emptyList
            }
            Text {
                id: lblEmpty
                objectName: "lblEmpty"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: emptyPicture.bottom
                anchors.topMargin: 16
                text: "您当前还未添加任何歌曲"
                color: "#FFBCB9B9"
                font.pixelSize: 13
            }
            Text {
                objectName: "lblAddSongs"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: lblEmpty.bottom
                anchors.topMargin: 10
                text: "点击这里添加歌曲到列表"
                color: "#FF00FF00"
                font.pixelSize: 13
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: panel.zylMain.lbl_openClick()
                }
            }
        }

        // The modal confirmation over the header (ConfirmPopup.qml), made after the window's
        // first frame: the controls module it needs is not loaded before.
        Loader {
            id: confirmation
            anchors.fill: parent
        }
    }
}
