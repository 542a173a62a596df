import QtQuick

// The settings face on the back of the player panel. Every change takes effect at once;
// "保存" also writes the settings file now, and both buttons turn the panel back.
Rectangle {
    id: face

    property var zylMain
    signal backRequested()
    signal dragStarted(point globalPos)
    signal dragMoved(point globalPos)

    color: "#FF000000"

    MouseArea {
        anchors.fill: parent
        onPressed: mouse => face.dragStarted(mapToGlobal(mouse.x, mouse.y))
        onPositionChanged: mouse => face.dragMoved(mapToGlobal(mouse.x, mouse.y))
    }

    Text {
        objectName: "Label1"
        x: 7; y: 12; width: 73; height: 15
        text: "播放模式："
        color: "#FFFFFFFF"
        font.pixelSize: 12
        verticalAlignment: Text.AlignVCenter
    }
    PopupBox {
        id: modBox
        objectName: "modBox"
        x: 81; y: 10; width: 65; height: 21
        model: ["普通", "循环", "单曲循环"]
        currentIndex: face.zylMain ? face.zylMain.playModeIndex : 0
        onActivated: index => face.zylMain.playModeIndex = index
    }
    Text {
        objectName: "Label2"
        x: 193; y: 12; width: 69; height: 15
        text: "音效模式："
        color: "#FFFFFFFF"
        font.pixelSize: 12
        verticalAlignment: Text.AlignVCenter
    }
    PopupBox {
        id: effBox
        objectName: "effBox"
        x: 269; y: 10; width: 92; height: 21
        model: face.zylMain ? face.zylMain.presetNames : []
        currentIndex: face.zylMain ? face.zylMain.presetIndex : -1
        onActivated: index => face.zylMain.presetIndex = index
    }
    HudButton {
        objectName: "btnLrcPath"
        x: 11; y: 42; width: 69; height: 22
        text: "歌词路径"
        onClicked: face.zylMain.pmm_setdownClick()
    }
    TextBox {
        objectName: "txtlrcPath"
        x: 83; y: 42; width: 95; height: 22
        text: face.zylMain ? face.zylMain.lyricDir : ""
    }
    HudButton {
        objectName: "btnMsPath"
        x: 189; y: 42; width: 69; height: 22
        text: "歌曲路径"
        onClicked: face.zylMain.pmm_sdownClick()
    }
    TextBox {
        objectName: "txtmsPath"
        x: 269; y: 42; width: 92; height: 22
        text: face.zylMain ? face.zylMain.musicDir : ""
    }
    // The ticks follow the controller; a click asks it to toggle.
    CheckLabel {
        objectName: "chkShowLrc"
        x: 11; y: 74; width: 85; height: 19
        text: "显示歌词"
        checked: face.zylMain ? face.zylMain.showLyrics : false
        onClicked: face.zylMain.chkShowLrcClicked(!checked)
    }
    CheckLabel {
        objectName: "chkAutoRun"
        x: 95; y: 74; width: 120; height: 19
        text: "开机自动运行"
        checked: face.zylMain ? face.zylMain.autoRun : false
        onClicked: face.zylMain.chkAutoRunClick()
    }
    HudButton {
        objectName: "HudButton3"
        x: 246; y: 83; width: 52; height: 22
        text: "保存"
        // Saves, then the controller asks for the turn back (flipBackRequested).
        onClicked: face.zylMain.HudButton3Click()
    }
    HudButton {
        objectName: "HudButton2"
        x: 305; y: 83; width: 56; height: 22
        text: "返回"
        onClicked: face.backRequested()
    }
    // "保存" is the default button (Return) and "返回" the cancel button (Escape).
    onVisibleChanged: if (visible) forceActiveFocus()
    Keys.onReturnPressed: face.zylMain.HudButton3Click()
    Keys.onEscapePressed: face.backRequested()
}
