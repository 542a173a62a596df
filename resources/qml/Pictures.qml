pragma Singleton
import QtQuick

// The button pictures, in the order the rest of the program refers to them by index.
QtObject {
    readonly property var bmpList: [
        "qrc:/pictures/play.svg",      // 0 play
        "qrc:/pictures/pause.svg",     // 1 pause
        "qrc:/pictures/last.svg",      // 2 previous
        "qrc:/pictures/next.svg",      // 3 next
        "qrc:/pictures/volume.svg",    // 4 volume
        "qrc:/pictures/mute.svg",      // 5 mute
        "qrc:/pictures/close.svg",     // 6 close
        "qrc:/pictures/playlist.svg",  // 7 playlist panel
        "qrc:/pictures/menu.svg",      // 8 menu
        "qrc:/pictures/settings.svg",  // 9 settings
        "qrc:/pictures/feed.svg",      // 10 feed
        "qrc:/pictures/wrench.svg",    // 11 wrench
        "qrc:/pictures/refresh.svg",   // 12 refresh
        "qrc:/pictures/play2.svg",     // 13 small play
        "qrc:/pictures/pause2.svg",    // 14 small pause
        "qrc:/pictures/delete.svg"     // 15 delete row
    ]
    readonly property url add: "qrc:/pictures/add.svg"
    readonly property url emptyList: "qrc:/pictures/empty-list.svg"
    readonly property url icon: "qrc:/pictures/lirvo.svg"
}
