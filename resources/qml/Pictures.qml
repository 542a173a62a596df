pragma Singleton
import QtQuick

// The button pictures, in the order the rest of the program refers to them by index. They are
// drawn from qrc:/pictures by the "svg" image provider (SvgPictureProvider).
QtObject {
    readonly property var bmpList: [
        "image://svg/play.svg",    // 0 play
        "image://svg/pause.svg",   // 1 pause
        "image://svg/last.svg",    // 2 previous
        "image://svg/next.svg",    // 3 next
        "image://svg/volume.svg",  // 4 volume
        "image://svg/mute.svg",    // 5 mute
        "image://svg/close.svg",   // 6 close
        "image://svg/playlist.svg",// 7 playlist panel
        "image://svg/menu.svg",    // 8 menu
        "image://svg/settings.svg",// 9 settings
        "image://svg/feed.svg",    // 10 feed
        "image://svg/wrench.svg",  // 11 wrench
        "image://svg/refresh.svg", // 12 refresh
        "image://svg/play2.svg",   // 13 small play
        "image://svg/pause2.svg",  // 14 small pause
        "image://svg/delete.svg"   // 15 delete row
    ]
    readonly property url add: "image://svg/add.svg"
    readonly property url emptyList: "image://svg/empty-list.svg"
    readonly property url icon: "image://svg/lirvo.svg"
}
