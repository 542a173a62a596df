#pragma once
// What the main-window controller needs from the window and from people: confirmations, the
// file and folder dialogs, the desktop lyric band and its control bar. The application
// implements it with QML and the desktop lyric windows; tests replace it with a scripted fake.
//
// Every call is made on the main thread. The dialogs answer through a callback, which the
// view may call at once (tests) or later from the event loop (real dialogs); the controller
// never waits in a nested loop. A view that is destroyed must not call a pending callback.

#include "lyrics/core/uLRCHandle.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::shell {

// A lyric line for the desktop band: its text, its translation ("" when none) and, for a line
// with word timings, the words with their start times on the play clock (the lyric offset
// applied) and the end of the last word on that clock (-1 when the line does not give it).
struct TBandLine {
    std::string Text;
    std::string Translation;
    std::vector<lyrics::TLyricWord> Words;
    std::int32_t WordsEnd = -1;

    bool operator==(const TBandLine &) const = default;
};

class IMainView {
public:
    // Answers of the yes/no popup.
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    virtual ~IMainView() = default;

    // The confirmation popup over the playlist header: shows `text` with the buttons "Yes" and
    // "No" and calls `done` once with kYes or kNo. While it is open IsConfirmationOpen() is true.
    virtual void MsgPop1(const std::string &text, std::function<void(int result)> done) = 0;
    virtual bool IsConfirmationOpen() const = 0;

    // The open-file dialog: several files may be chosen; `filter` is the engine's filter text
    // ("description|*.a;*.b|description|*.c", pairs separated by "|"). `done` receives the full
    // paths in the order the dialog returns them, or nullopt when the user cancels.
    virtual void
    ShowOpenFileDialog(const std::string &filter,
                       std::function<void(std::optional<std::vector<std::string>> files)> done) = 0;

    // The folder picker (folders only), starting at `startFolder`. `done` receives the chosen
    // folder as the picker gives it (normally without a trailing "/"), or nullopt on cancel.
    virtual void SelectFolder(const std::string &title, const std::string &startFolder,
                              std::function<void(std::optional<std::string> folder)> done) = 0;

    // The desktop lyric band: ShowText redraws only when the text changed; the visibility
    // calls show or hide the band without touching its text.
    virtual void ShowText(const std::string &text) = 0;
    virtual void SetDesktopLyricVisible(bool visible) = 0;
    virtual bool IsDesktopLyricVisible() const = 0;
    // A lyric line with its translation and word timings (redrawn only when it changed). A
    // view without these draws the text alone.
    virtual void ShowLyricLine(const TBandLine &line) { ShowText(line.Text); }
    // The play position and whether it advances, on every tick of the engine while lyrics
    // show: it moves the karaoke sweep of a word-timed line.
    virtual void SetLyricClock(std::int32_t positionMs, bool playing) {
        (void)positionMs;
        (void)playing;
    }
    // Locked, the band lets every click through and brings up no control bar.
    virtual void SetDesktopLyricLocked(bool locked) { (void)locked; }

    // The small control bar over the band.
    virtual bool IsControlBarVisible() const = 0;
    virtual void CloseControlBar() = 0;
};

} // namespace lirvo::shell
