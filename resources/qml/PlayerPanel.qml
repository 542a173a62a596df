import QtQuick

// The player panel with its two faces: the player face (transport, title, seek and volume)
// and, on its back, the settings face. Flipping turns the panel about its vertical axis
// while it moves away in depth and back.
Layer3D {
    id: panel

    property var zylMain
    property var mainView
    signal dragStarted(point globalPos)
    signal dragMoved(point globalPos)
    signal playlistToggleRequested()
    signal menuRequested(real globalX, real globalY)
    signal closeRequested()

    property bool started: false
    function startUp() {
        if (started)
            return;
        started = true;
        floatAnimation1.start();
    }

    // Makes what the window's first frame does not show: the settings face.
    function finishStart() {
        if (setting.status === Loader.Null)
            setting.setSource("SettingFace.qml", { objectName: "Setting", zylMain: panel.zylMain });
    }

    function flipToSetting() {
        finishStart();
        flipToMain.stop();
        flipToSettingAnim.restart();
    }
    function flipBack() {
        flipToSettingAnim.stop();
        flipToMain.restart();
    }

    SequentialAnimation {
        id: flipToSettingAnim
        objectName: "btnAboutClickAnimation"
        ParallelAnimation {
            NumberAnimation { target: panel; property: "positionZ"; to: 300; duration: 300 }
            NumberAnimation { target: panel; property: "rotateAngleY"; to: 90; duration: 300 }
        }
        ScriptAction {
            script: {
                setting.visible = true;
                mainFace.visible = false;
                panel.rotateAngleY = 270;
            }
        }
        ParallelAnimation {
            NumberAnimation { target: panel; property: "positionZ"; to: 0; duration: 300 }
            NumberAnimation { target: panel; property: "rotateAngleY"; to: 360; duration: 300 }
        }
        // A full turn is the same as none; keeping 0 lets the way back turn a quarter only.
        ScriptAction { script: panel.rotateAngleY = 0 }
    }
    SequentialAnimation {
        id: flipToMain
        objectName: "btnAboutBackClickAnimation"
        ParallelAnimation {
            NumberAnimation { target: panel; property: "positionZ"; to: 300; duration: 300 }
            NumberAnimation { target: panel; property: "rotateAngleY"; to: -90; duration: 300 }
        }
        ScriptAction {
            script: {
                setting.visible = false;
                mainFace.visible = true;
                panel.rotateAngleY = 90;
            }
        }
        ParallelAnimation {
            NumberAnimation { target: panel; property: "positionZ"; to: 0; duration: 300 }
            NumberAnimation { target: panel; property: "rotateAngleY"; to: 0; duration: 300 }
        }
    }

    Connections {
        target: panel.zylMain
        ignoreUnknownSignals: true
        function onFlipBackRequested() { panel.flipBack(); }
    }

    Item {
        id: root2
        objectName: "Root2"
        anchors.fill: parent
        opacity: 0

        // Start animation: the panel's content fades in, then the playlist panel opens. It runs
        // once, when the window first shows.
        NumberAnimation {
            id: floatAnimation1
            objectName: "FloatAnimation1"
            target: root2
            property: "opacity"
            from: 0
            to: 1
            duration: 1000
            onFinished: panel.playlistToggleRequested()
        }

        Rectangle {
            id: mainFace
            objectName: "Main"
            anchors.fill: parent
            color: "#FF000000"
            border.width: 0

            MouseArea {
                anchors.fill: parent
                onPressed: mouse => panel.dragStarted(mapToGlobal(mouse.x, mouse.y))
                onPositionChanged: mouse => panel.dragMoved(mapToGlobal(mouse.x, mouse.y))
            }

            Text {
                id: lblTitle
                objectName: "lbl_title"
                x: 3
                y: 98
                width: 375
                height: 17
                color: "#FFFFFFFF"
                font.bold: true
                font.pixelSize: 12
                verticalAlignment: Text.AlignVCenter
                // Shortened in the middle, so that a long note keeps the file name it ends with.
                elide: Text.ElideMiddle
                text: panel.zylMain ? panel.zylMain.titleText : "Lirvo 不一样的音乐体验"
            }
            SeekBar {
                id: tbrmain
                objectName: "tbrmain"
                x: 0
                y: parent.height - height
                width: 380
                height: 17
                maximum: panel.zylMain ? panel.zylMain.progressMaximum : 100
                value: panel.zylMain ? panel.zylMain.progressValue : 0
                onPressedAt: (px, w) => panel.zylMain.tbrmainMouseDown(px, w)
                onOpacityChanged: if (panel.zylMain) panel.zylMain.progressOpacity = opacity
            }
            BitmapButton {
                objectName: "btnPlay"
                x: 22; y: 19; width: 65; height: 65
                pictureSize: 65
                // Says what a click does: the pause picture pauses.
                hint: panel.zylMain && panel.zylMain.playButtonImage === 1 ? "暂停" : "播放"
                opacity: 0.5
                hoverFade: true
                source: Pictures.bmpList[panel.zylMain ? panel.zylMain.playButtonImage : 0]
                onClicked: panel.zylMain.btn_playClick()
            }
            BitmapButton {
                objectName: "btnNext"
                x: 104; y: 31; width: 40; height: 40
                pictureSize: 40
                hint: "下一曲"
                opacity: 0.5
                hoverFade: true
                source: Pictures.bmpList[3]
                onClicked: panel.zylMain.btn_nextClick()
            }
            BitmapButton {
                objectName: "btnLast"
                x: 406; y: 55; width: 30; height: 30
                pictureSize: 20
                hint: "上一曲"
                opacity: 1
                hoverFade: true
                enterFrom: 0.5
                source: Pictures.bmpList[2]
                onClicked: panel.zylMain.btn_previousClick()
            }
            BitmapButton {
                objectName: "btnClose"
                x: 354; y: 3; width: 20; height: 20
                pictureSize: 15
                hint: "关闭"
                source: Pictures.bmpList[6]
                onClicked: panel.closeRequested()
            }
            BitmapButton {
                objectName: "btnMin"
                x: 298; y: 3; width: 20; height: 20
                pictureSize: 15
                hint: "播放列表"
                source: Pictures.bmpList[7]
                onClicked: panel.playlistToggleRequested()
            }
            BitmapButton {
                id: btnMenu
                objectName: "btnMenu"
                x: 327; y: 3; width: 20; height: 20
                pictureSize: 15
                hint: "菜单"
                source: Pictures.bmpList[8]
                onClicked: {
                    const p = btnMenu.mapToGlobal(0, btnMenu.height);
                    panel.menuRequested(p.x, p.y);
                }
            }
            BitmapButton {
                objectName: "btnAbout"
                x: 344; y: 55; width: 30; height: 30
                pictureSize: 20
                hint: "设置"
                opacity: 1
                hoverFade: true
                enterFrom: 0.5
                source: Pictures.bmpList[9]
                onClicked: panel.flipToSetting()
            }
            VolumeBar {
                objectName: "tbrV"
                x: 181; y: 43; width: 100; height: 16.5
                value: panel.zylMain ? panel.zylMain.volume : 65
                onMoved: v => panel.zylMain.volume = v
            }
        }

        // The settings face (SettingFace.qml), made after the window's first frame or when
        // first turned to: the controls module it needs is not loaded before.
        Loader {
            id: setting
            anchors.fill: parent
            visible: false
        }
        Connections {
            target: setting.item
            ignoreUnknownSignals: true
            function onBackRequested() { panel.flipBack(); }
            function onDragStarted(p) { panel.dragStarted(p); }
            function onDragMoved(p) { panel.dragMoved(p); }
        }
    }
}
