#pragma once
// TZylMain: the main-window controller. It owns everything that lives as long as the program
// (folders, settings, the audio engine, the lyric timeline and lookup, the plug-in host, the
// update check, the playlist) and carries every handler of the main window. It uses Qt Core
// only; the window itself is QML, which binds to the properties below and calls the handlers,
// and everything that needs a person goes through IMainView (MainView.h).
//
// For the QML side
// ----------------
// Properties (read-only unless marked RW):
//   caption          "Lirvo4"
//   titleText        title line lbl_title
//   progressMaximum  maximum of the seek bar tbrmain (track length in ms; 100 until a track starts)
//   progressValue    value of the seek bar (ms); moves only while progressOpacity is exactly 1
//   progressOpacity  RW: the seek bar's current opacity as the view animates it (0 at start)
//   playButtonImage  picture index of btnPlay in the picture list: 0 play, 1 pause
//   volume           RW: volume slider tbrV, 0..100 (writing it is tbrVChange)
//   playModeIndex    RW: modBox ("普通", "循环", "单曲循环"); -1 none (writing it is modBoxChange)
//   presetNames      effBox entries
//   presetIndex      RW: effBox selection, -1 none (writing it is effBoxChange)
//   showLyrics       RW: the "显示歌词" tick chkShowLrc (the tick only; see chkShowLrcClicked)
//   autoRun          the "开机自动运行" tick chkAutoRun
//   lyricDir         txtlrcPath text;  musicDir  txtmsPath text
//   playlistVisible  true: show lstDefault; false: show layAddMsg (the empty-list invitation)
//   playlist         the rows (PlaylistModel, roles listed in PlaylistModel.h)
//   currentIndex     the current row (-1 or past the end possible)
// Handlers (Q_INVOKABLE) to call:
//   btn_playClick btn_nextClick btn_previousClick   transport buttons and menu items
//   tbrmainMouseDown(x, width)    press on the seek bar at x (bar coordinates) of its width
//   lbl_openClick                 "添加歌曲" button, "点击这里添加歌曲到列表", menu "添加音乐"
//   pmdel_delselectClick          a row's delete button
//   pmdel_clearlistClick          header text "清空列表"
//   plst_listItemDblClick         double click on the list
//   lstDefaultMouseMove(row)      pointer moved over the list; row = index under it or -1
//   chkShowLrcClicked(checked)    the "显示歌词" box was clicked (sets the tick, runs btn_lrcClick)
//   chkAutoRunClick               the "开机自动运行" box was clicked
//   pmm_setdownClick pmm_sdownClick   "歌词路径" / "歌曲路径" folder buttons
//   HudButton3Click               "保存": saves the settings, then emits flipBackRequested
//   pmm_lirvoClick                menu "Lirvo官网"
//   FormClose                     on "退出", before the application quits
// Signals: flipBackRequested() (turn the player panel back to its player face), and one
// NOTIFY signal per property; engineStateChanged() and seeked(ms) for the media-player interface.
// Deleting a row removes it from the model at once; the QML list fades it out in 0.4 s with
// its remove transition.
//
// For the lyric windows: LrcService(), LyricDir(), Record(CurrentIndex()) (the playing row),
// LoadLyricFile(text, file) (a lyric chosen in the search window), Timeline()->Offset() and
// SetLyricOffset(ms) (the control bar's timing buttons). The control bar's close button
// hides the band and calls setShowLyrics(false), so the tick follows.
// For the message port: WMSHARECMD(block, lParam) and WMCMDPLAY(wParam, lParam).
//
// Threads: create, call and destroy on the main thread, with a Qt event loop running. Engine
// reports from other threads are handled as the engine contract allows: status 1005 chooses
// the cache names on the open worker's thread, download blocks are written on the download
// thread, and every reaction that touches the playlist is carried to the main thread.

#include "lyrics/core/LyricLookup.h"
#include "shell/command/CommandBlock.h"
#include "shell/command/ICommandTarget.h"
#include "shell/controller/MainView.h"
#include "shell/controller/PlaylistModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::audio {
class IAudioLibrary;
class TAudioEngine;
struct TTags;
} // namespace lirvo::audio

namespace lirvo::lyrics {
class ILrcService;
class TLrcClass;
class TLrcTextThread;
class TLyricOffsetWriter;
struct TGuid;
struct LrcServiceOptions;
} // namespace lirvo::lyrics

namespace lirvo::storage {
class TDKConfig;
} // namespace lirvo::storage

namespace lirvo::shell {

class CrashSnapshots;
class DownloadCache;
class TagReadingPool;

// Play orders kept in PlayMode.
inline constexpr std::uint8_t kPlaySequential = 0;
inline constexpr std::uint8_t kPlayLoopList = 2;
inline constexpr std::uint8_t kPlayRepeatOne = 3;

// Plug-in messages sent with a song-information record.
inline constexpr std::int32_t kPluginTrackStarted = 108;
inline constexpr std::int32_t kPluginTrackEnded = 109;

// Text the desktop lyric band shows at start-up and the title line shows before a track.
inline constexpr const char *kSloganText = "Lirvo 不一样的音乐体验";
// Title line when a track cannot be played because no sound output can be opened.
inline constexpr const char *kNoOutputDeviceText = "无法打开音频输出设备";
inline constexpr const char *kMainCaption = "Lirvo4";
// Host of the product's web site (opened with "http://" in front).
inline constexpr const char *kProductSite = "www.lirvo.net";

// Confirmation texts of the playlist.
// The delete question names the song: its title, else its caption, else its file name.
std::string AskDeleteText(const std::string &title, const std::string &caption, const std::string &path);
inline constexpr const char *kAskClearText = "确定要清空当前歌曲列表？";

// Where the controller finds its collaborators. Everything but the library has a default for
// the real program; tests fill in what they replace.
struct TZylMainOptions {
    // The audio library the engine plays through (the real one or a test double). Required.
    audio::IAudioLibrary *Library = nullptr;
    // The program's folder, ending in "/" (effect.dat, bugreport, plugins/, add-ons).
    // Empty: the folder of the running executable.
    std::string AppDir;
    // Full path of the executable (update check, autostart). Empty: the running executable.
    std::string ExePath;
    // Creates the lyric service (step "LRC_CreateObj"). Empty: the real service.
    std::function<std::shared_ptr<lyrics::ILrcService>(const lyrics::TGuid &,
                                                       const lyrics::LrcServiceOptions &)>
        CreateLrcService;
    // Hands the program's own arguments over through the command block (first process).
    // Empty: nothing to hand over.
    std::function<void()> HandOwnArguments;
    // Registers or unregisters the program for autostart. Empty: lirvo::system::SetAutorun.
    std::function<void(bool enable)> SetAutorun;
    // Install the process-wide fault handler (off in tests that run several controllers).
    bool InstallCrashGuard = true;
    // Load plug-ins from AppDir + "plugins" and start the update check.
    bool LoadPlugins = true;
    bool StartUpdateCheck = true;
    // FormCreate leaves the engine, the plug-ins, the update check and the autostart entry to
    // StartEngine (the program calls it once its window shows and the library is loaded). A
    // handler that needs the engine before that starts it itself, so no command is lost.
    bool DeferEngine = false;
};

// The title rule of TZylMain::TitleFromFileName, usable without a controller.
std::string FileNameTitle(const std::string &path);

class TZylMain : public QObject, public command::ICommandTarget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption CONSTANT)
    Q_PROPERTY(QString titleText READ TitleText NOTIFY titleTextChanged)
    Q_PROPERTY(int progressMaximum READ ProgressMaximum NOTIFY progressMaximumChanged)
    Q_PROPERTY(int progressValue READ ProgressValue NOTIFY progressValueChanged)
    Q_PROPERTY(
        double progressOpacity READ ProgressOpacity WRITE setProgressOpacity NOTIFY progressOpacityChanged)
    Q_PROPERTY(int playButtonImage READ PlayButtonImage NOTIFY playButtonImageChanged)
    Q_PROPERTY(double volume READ Volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(int playModeIndex READ PlayModeIndex WRITE setPlayModeIndex NOTIFY playModeIndexChanged)
    Q_PROPERTY(QStringList presetNames READ PresetNames NOTIFY presetNamesChanged)
    Q_PROPERTY(int presetIndex READ PresetIndex WRITE setPresetIndex NOTIFY presetIndexChanged)
    Q_PROPERTY(bool showLyrics READ ShowLyrics WRITE setShowLyrics NOTIFY showLyricsChanged)
    Q_PROPERTY(bool autoRun READ AutoRun NOTIFY autoRunChanged)
    Q_PROPERTY(QString lyricDir READ LyricDirText NOTIFY lyricDirChanged)
    Q_PROPERTY(QString musicDir READ MusicDirText NOTIFY musicDirChanged)
    Q_PROPERTY(bool playlistVisible READ PlaylistVisible NOTIFY playlistVisibleChanged)
    Q_PROPERTY(lirvo::shell::PlaylistModel *playlist READ Playlist CONSTANT)
    Q_PROPERTY(int currentIndex READ CurrentIndex NOTIFY currentIndexChanged)

public:
    // Does nothing but remember its collaborators; FormCreate builds everything.
    TZylMain(IMainView &view, TZylMainOptions options, QObject *parent = nullptr);
    // Runs FormDestroy if it has not run.
    ~TZylMain() override;

    // ---- life cycle ----
    // The creation sequence: exception notifier, own arguments, folders, lyric service,
    // settings, desktop lyrics, presets, records, timeline, stored playlist; then StartEngine
    // unless the options defer it.
    void FormCreate();
    // The rest of the creation: the autostart entry, the engine (over the options' library),
    // the plug-ins and the update check. Does nothing before FormCreate, after FormDestroy or
    // when it ran already. Every handler that plays, reads tags or opens files runs it first.
    void StartEngine();
    bool EngineStarted() const { return engineStarted_; }
    // Writes the settings file (volume, playlist path, play mode, show lyrics, autorun, RUNJM,
    // preset, skin), keeping everything else in it.
    void SaveSettings();
    // Saves the playlist, then the settings.
    Q_INVOKABLE void FormClose();
    // Releases the cache file, engine, plug-ins, lyric service, timeline and records, and the
    // fault handler. Safe to call twice.
    void FormDestroy();
    // The process-wide fault notifier. With `osException` false nothing happens. With true
    // (a processor fault, from any thread): the playlist and settings are written from the
    // latest snapshots and AppDir + "bugreport" is started with "-os"; the fault handler then
    // writes one line to standard error and ends the process by the signal's default action.
    // Only async-signal-safe calls are made.
    static void OnOsException(const void *exceptionObject, const void *address, bool osException);
    // The last-chance handler for errors no handler caught: the operation simply stops.
    void ApplicationEventsException(const std::exception *error);

    // ---- transport ----
    Q_INVOKABLE void btn_playClick();
    Q_INVOKABLE void btn_nextClick();
    Q_INVOKABLE void btn_previousClick();
    Q_INVOKABLE void tbrmainMouseDown(double x, double width);
    void tbrVChange();
    void modBoxChange();
    void tmr_lanerrTimer();

    // ---- engine reports (also called directly by tests) ----
    void OnStatus(std::int32_t status);
    void OnEnd(std::int32_t status);
    void OnTick(std::int32_t state, std::int32_t length, std::int32_t position);
    void OnError(std::int32_t state, std::int32_t code);
    // Hands the track-start (108) or track-end (109) message with the current row to the plug-ins.
    void NotifyPlugins(std::int32_t code);

    // ---- playlist ----
    void AddListRow(int number, const std::string &title, const std::string &artist, const std::string &path);
    void RebuildPlayList(bool clear);
    void HighlightRow(int index);
    // The file name of `path` without folder and extension (Song.mp3 in any folder gives Song).
    std::string TitleFromFileName(const std::string &path) const override;
    void SavePlayList() override;
    void SayNamesRefused(int count) override;
    void LoadPlayList();
    // Shows the open dialog; the chosen files are tagged off the main thread and appended.
    // `done` gets false when the user cancelled, true otherwise (after the rows are in and saved).
    void AddFilesFromDialog(std::function<void(bool added)> done = {});
    Q_INVOKABLE void lbl_openClick();
    Q_INVOKABLE void pmdel_delselectClick();
    Q_INVOKABLE void pmdel_clearlistClick();
    Q_INVOKABLE void plst_listItemDblClick();
    Q_INVOKABLE void lstDefaultMouseMove(int row);

    // ---- presets ----
    void LoadPresetNames();
    void ApplyPreset(std::int32_t id);
    void effBoxChange();

    // ---- download cache (engine threads) ----
    void PrepareCacheNames();
    void CacheDownloadBlock(const void *buffer, std::uint32_t length, void *user);

    // ---- lyrics and settings panel ----
    Q_INVOKABLE void btn_lrcClick();
    Q_INVOKABLE void chkShowLrcClicked(bool checked);
    Q_INVOKABLE void chkAutoRunClick();
    Q_INVOKABLE void pmm_setdownClick();
    Q_INVOKABLE void pmm_sdownClick();
    Q_INVOKABLE void HudButton3Click();
    Q_INVOKABLE void pmm_lirvoClick();

    // ---- command messages ----
    // Takes the command and zeroes the block. Commands are carried out in the order they came;
    // a path (codes 1 and 11) is read first on a tag-reading worker, so its rows arrive (and it
    // plays) once its tags are known. Commands not read yet when the window closes are dropped.
    void WMSHARECMD(command::CommandBlock &block, std::int64_t lParam);
    std::int32_t WMCMDPLAY(std::int64_t wParam, std::int64_t lParam);

    // ---- ICommandTarget ----
    int RowCount() const override;
    std::int32_t CurrentIndex() const override { return currentIndex_; }
    void SetCurrentIndex(std::int32_t index) override;
    std::optional<std::string> RecordPath(std::int32_t index) const override;
    command::SongTags GetTags(const std::string &path) override;
    void AppendRow(int number, const std::string &title, const std::string &artist,
                   const std::string &path) override;
    int EngineState() const override;
    void Stop() override;
    void PlayFile(const std::string &path) override;
    void PlayPause() override { btn_playClick(); }
    void Previous() override { btn_previousClick(); }
    void Next() override { btn_nextClick(); }

    // ---- state for views and for the lyric windows ----
    QString Caption() const { return QString::fromUtf8(kMainCaption); }
    QString TitleText() const { return QString::fromStdString(titleText_); }
    const std::string &TitleTextUtf8() const { return titleText_; }
    // What the band shows of the lyric now ("" for no line), and the lyric clock with the
    // offset applied, for readers outside the window.
    const std::string &BandLineText() const { return bandText_; }
    const std::string &BandTranslationText() const { return bandTranslation_; }
    std::int32_t LyricClockMs() const;
    lyrics::TLyricSource LyricSource() const { return lyricSource_; }
    const std::string &LyricWhere() const { return lyricWhere_; }
    int ProgressMaximum() const { return progressMaximum_; }
    int ProgressValue() const { return progressValue_; }
    double ProgressOpacity() const { return progressOpacity_; }
    int PlayButtonImage() const { return playButtonImage_; }
    double Volume() const { return volume_; }
    int PlayModeIndex() const { return playModeIndex_; }
    QStringList PresetNames() const;
    const std::vector<std::string> &PresetNamesUtf8() const { return presetNames_; }
    int PresetIndex() const { return presetIndex_; }
    bool ShowLyrics() const { return showLyrics_; }
    // The desktop lyric lock (click-through band), settings key Window/DESKTOPLRC LOCK.
    bool LyricsLocked() const { return lyricsLocked_; }
    void SetLyricsLocked(bool locked);

    // Following another player: while nothing of our own plays or is paused, the band shows
    // the lyric of the track another player plays, on that player's clock.
    bool FollowOthers() const { return followOthers_; }
    void SetFollowOthers(bool on);
    // True while our own track plays or is paused (the band is ours then).
    bool OwnPlaybackActive() const;
    // The followed player started a track: its lyric is looked up as for our own songs
    // (`path` is its local file, "" for none; `lyricText` the player's own text of it).
    void FollowedTrackStarted(const std::string &path, const std::string &title, const std::string &artist,
                              std::int32_t lengthMs, const std::string &lyricText);
    // The followed player's clock, given about forty times a second while it is followed.
    void FollowedClock(std::int32_t positionMs, bool playing);
    // Nothing is followed any more, or the player gives no position: the band says so.
    void FollowingEnded();
    void FollowedWithoutProgress(const std::string &text);
    bool Following() const { return following_; }
    // Puts a notice in the title line until the next track names itself there.
    void ShowTitleNotice(const std::string &text) { SetTitleText(text); }
    bool AutoRun() const { return autoRun_; }
    QString LyricDirText() const { return QString::fromStdString(lyricDir_); }
    QString MusicDirText() const { return QString::fromStdString(musicDir_); }
    bool PlaylistVisible() const { return playlistVisible_; }
    PlaylistModel *Playlist() { return &model_; }
    const PlaylistModel &Rows() const { return model_; }
    const std::vector<TPlayListItem> &Records() const { return records_; }
    const TPlayListItem *Record(int index) const;

    std::uint8_t PlayMode() const { return playMode_; }
    std::int32_t EqPresetId() const { return eqPresetId_; }
    const std::string &AppDir() const { return appDir_; }
    const std::string &DataDir() const { return dataDir_; }
    const std::string &LyricDir() const { return lyricDir_; }
    const std::string &MusicDir() const { return musicDir_; }
    const std::string &PlaylistPath() const { return playlistPath_; }
    std::string SettingsPath() const { return dataDir_ + "Lirvo.xml"; }
    // Read-only settings: lyric service address and update description address ("" = built-in).
    const std::string &LyricServiceUrl() const { return lyricServiceUrl_; }
    const std::string &UpdateUrl() const { return updateUrl_; }
    bool LyricLookupRunning() const { return lrcThread_ != nullptr; }
    bool LanErrTimerActive() const { return lanErrTimer_.isActive(); }
    bool TrimScheduled() const { return trimTimer_.isActive(); }
    int TickCounter() const { return tickCounter_; }

    audio::TAudioEngine *Engine() { return engine_.get(); }
    lyrics::TLrcClass *Timeline() { return timeline_.get(); }
    std::shared_ptr<lyrics::ILrcService> LrcService() const { return lrcService_; }
    // The online services asked for lyrics, in order, as chosen in the search window: used from
    // the next lookup on and written to the settings ("Network/LYRICSOURCES", "ORDER").
    void SetLyricSources(const std::vector<std::string> &keys);
    // Loads a lyric text chosen elsewhere (the search window) into the timeline.
    void LoadLyricText(const std::string &text);
    // The same for a lyric kept in `file`, into which later timing shifts are written.
    void LoadLyricFile(const std::string &text, const std::string &file);
    // The control bar's timing shift: sets the timeline's offset and, when the lyric came from
    // a file, writes it into that file's [offset:] tag (on a thread of its own).
    void SetLyricOffset(std::int32_t offsetMs);
    // The file the playing lyric came from ("" when none, e.g. embedded in the song).
    const std::string &LyricFile() const { return lyricFile_; }
    // Waits until the offsets asked for are written (tests).
    void WaitForLyricWrites();
    // Whether the online lyric lookup may be used (set by the update check).
    bool OnlineAllowed() const;
    // Prefix that turns song ids of list commands into network locations (update check).
    std::string MusicPathPrefix() const;

public Q_SLOTS:
    void setProgressOpacity(double opacity);
    void setVolume(double volume);
    void setPlayModeIndex(int index);
    void setPresetIndex(int index);
    void setShowLyrics(bool show);

Q_SIGNALS:
    void titleTextChanged();
    void progressMaximumChanged();
    void progressValueChanged();
    void progressOpacityChanged();
    void playButtonImageChanged();
    void volumeChanged();
    void playModeIndexChanged();
    void presetNamesChanged();
    void presetIndexChanged();
    void showLyricsChanged();
    void lyricsLockedChanged();
    void autoRunChanged();
    void lyricDirChanged();
    void musicDirChanged();
    void playlistVisibleChanged();
    void currentIndexChanged();
    void flipBackRequested();
    // The engine reported a state change (may be emitted from an engine thread; connect queued).
    void engineStateChanged();
    // The position was set with the seek bar's handler.
    void seeked(qint64 positionMs);
    // The band's line or its translation changed (BandLineText, BandTranslationText).
    void bandLineChanged();
    // A lyric was loaded for the playing track, or cleared (LyricSource, LyricWhere).
    void lyricSourceChanged();
    void followOthersChanged();

private:
    struct LookupKey {
        std::string Path, Title, Songer, Caption;
        bool operator==(const LookupKey &) const = default;
    };

    // Runs a handler body; an error that escapes goes to ApplicationEventsException.
    template <typename F> void Guarded(F &&body);
    void SetTitleText(const std::string &text);
    // Opens the row that follows the current track ahead once its end is near (gapless).
    void QueueFollowingRow(std::int32_t length, std::int32_t position);
    // Shows on the title line which file was set aside or could not be read ("" does nothing).
    void NoteFileProblem(const std::string &text);
    void SetProgressMaximum(int value);
    void SetProgressValue(int value);
    void SetPlayButtonImage(int index);
    void SetPlaylistVisible(bool visible);
    void SetCurrentIndexValue(std::int32_t index);
    void ShowListOrInvitation();
    // Plays the record at CurrentIndex through the engine, remembering what the cache is for.
    void PlayRecord(int index);
    void TrackStarted();
    void EndOfTrack();
    void LyricTrackEnded();
    void EmptyLyric();
    void ShowLyricAt(std::int32_t position);
    void SetBandLine(const std::string &text, const std::string &translation);
    // No lyric for readers outside the window: no source, no line.
    void ForgetLyric();
    void StartLyricLookup(const LookupKey &key);
    void LyricLookupFinished(lyrics::TLrcTextThread &worker);
    void PickFolder(bool lyricFolder);
    void AppendTaggedFiles(const std::vector<std::string> &files, const std::vector<audio::TTags> &tags);
    std::string TitleForFile(const std::string &path, const std::string &titleTag) const;
    void CacheRepointed(const std::string &source, const std::string &target);
    // Writes the rows as the playlist file at `path`.
    void WritePlaylistRows(const std::string &path) const;
    // Refreshes what the fault handler writes; called after every change of rows or settings.
    void RefreshPlaylistSnapshot();
    void RefreshSettingsSnapshot();
    void WriteSettingsValues(storage::TDKConfig &config) const;
    void WriteFolderKey(bool lyricFolder);
    void DeleteRow(int index);
    // `row` when it still holds `path`, else the first row that does, else -1.
    int RowHolding(int row, const std::string &path) const;

    IMainView &view_;
    TZylMainOptions options_;
    bool created_ = false;
    bool destroyed_ = false;
    bool engineStarted_ = false;

    // folders and settings
    std::string appDir_, dataDir_, lyricDir_, musicDir_, playlistPath_, exePath_;
    std::string lyricServiceUrl_, updateUrl_;
    std::uint8_t playMode_ = kPlaySequential;
    int playModeIndex_ = 0;
    std::int32_t eqPresetId_ = 0;
    bool autoRun_ = true;
    bool showLyrics_ = true;
    bool lyricsLocked_ = false;
    double volume_ = 65;

    // window state
    std::string titleText_ = kSloganText;
    int progressMaximum_ = 100;
    int progressValue_ = 0;
    double progressOpacity_ = 0;
    int playButtonImage_ = 0;
    bool playlistVisible_ = false;
    std::vector<std::string> presetNames_;
    int presetIndex_ = -1;

    // playback
    std::unique_ptr<audio::TAudioEngine> engine_;
    // The engine as the download thread sees it (null before creation and during destruction).
    std::atomic<audio::TAudioEngine *> engineForDownloads_{nullptr};
    std::int32_t currentIndex_ = 0;
    int tickCounter_ = 0;
    bool bandLineTimed_ = false; // the band shows a word-timed line: it changes on every tick
    QTimer lanErrTimer_;
    std::string bandText_, bandTranslation_;
    bool followOthers_ = true;
    bool following_ = false;     // the band shows another player's track
    std::int32_t lookupLengthMs_ = 0; // the length the lyric lookup matches against
    lyrics::TLyricSource lyricSource_ = lyrics::TLyricSource::None;
    std::string lyricWhere_;
    // Trims the working set once, a moment after a track ended or the playlist changed.
    QTimer trimTimer_;
    std::int32_t lanErrRow_ = -1; // the row whose failed open the timer is to skip

    // playlist
    PlaylistModel model_;
    std::vector<TPlayListItem> records_;
    bool askPending_ = false;

    // lyrics
    std::shared_ptr<lyrics::ILrcService> lrcService_;
    std::unique_ptr<lyrics::TLrcClass> timeline_;
    lyrics::TLrcTextThread *lrcThread_ = nullptr;
    std::optional<LookupKey> runningLookup_;
    std::optional<LookupKey> playingTrack_;
    bool lookupWanted_ = false;
    std::string lyricFile_; // the playing lyric's own file, "" when none
    std::unique_ptr<lyrics::TLyricOffsetWriter> offsetWriter_;

    // collaborators of the next layer
    std::unique_ptr<DownloadCache> cache_;
    struct Extensions;
    std::unique_ptr<Extensions> ext_; // plug-in host and update check
    std::unique_ptr<TagReadingPool> tagPool_;     // tags of added files, read off the main thread
    // Handed-over commands waiting for the one being read (WMSHARECMD).
    std::deque<std::unique_ptr<command::CommandBlock>> commandQueue_;
    bool commandReading_ = false;
    void RunQueuedCommands();
    void ReadCommandPath(const std::string &path, bool play);
    std::unique_ptr<CrashSnapshots> snapshots_; // what the fault handler writes
};

} // namespace lirvo::shell
