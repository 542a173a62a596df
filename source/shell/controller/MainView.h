#pragma once
// What the main-window controller needs from the window and from people: confirmations, the
// file and folder dialogs, the desktop lyric band and its control bar. The application
// implements it with QML and the desktop lyric windows; tests replace it with a scripted fake.
//
// Every call is made on the main thread. The dialogs answer through a callback, which the
// view may call at once (tests) or later from the event loop (real dialogs); the controller
// never waits in a nested loop. A view that is destroyed must not call a pending callback.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::shell {

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

    // The small control bar over the band.
    virtual bool IsControlBarVisible() const = 0;
    virtual void CloseControlBar() = 0;
};

} // namespace lirvo::shell
