#include "shell/controller/unt_main.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/OpenFailure.h"
#include "function/system/SystemHelpers.h"
#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/LRC_Header.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricOffsetFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/services/ServiceLookup.h"
#include "plugins/UPluginFramework.h"
#include "plugins/lirvo_plugin.h"
#include "shell/command/CommandMessages.h"
#include "shell/command/LocalPlaylist.h"
#include "shell/controller/BandLine.h"
#include "shell/controller/CrashGuard.h"
#include "shell/controller/CrashSnapshots.h"
#include "shell/controller/DialogFileReader.h"
#include "shell/controller/DownloadCache.h"
#include "shell/controller/PlayOrder.h"
#include "shell/controller/PresetFile.h"
#include "shell/controller/TagReadingPool.h"
#include "storage/Folders.h"
#include "storage/UDDPlayerlist.h"
#include "storage/UDDXMLCFG.h"
#include "update/UntCkUpThread.h"
#include "update/UpdateState.h"

#include <QDir>
#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace lirvo::shell {

namespace {

constexpr const char *kSettingsRoot = "MainConfig";
constexpr const char *kPlaylistRoot = "DefaultList";
constexpr const char *kPlaylistList = "PlayerList";
constexpr const char *kPlaylistEntry = "PlayerList/LIST";
constexpr const char *kLookupPlaceholder = "...";
constexpr const char *kNoLinePlaceholder = ". . .";
constexpr int kTicksPerStep = 10;
// The working-set trim waits this long after its cause, so a burst of changes trims once.
constexpr int kTrimDelayMs = 1000;
// How long before the end of a track the next one is opened ahead.
constexpr std::int32_t kGaplessLeadMs = 4000;

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

bool IsFile(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The title line's word about a settings or playlist file that could not be used as it was.
std::string OpenNoteText(const storage::OpenNote &note, const std::string &path) {
    if (!note.setAside.empty())
        return "文件已损坏，已另存为 " + note.setAside;
    if (note.unreadable)
        return "无法读取文件 " + path;
    return {};
}

// Mode box entry for a play order, and back.
int PatternForMode(std::uint8_t mode) {
    return mode == kPlayLoopList ? 1 : mode == kPlayRepeatOne ? 2 : 0;
}
std::optional<std::uint8_t> ModeForPattern(int pattern) {
    switch (pattern) {
    case 0:
        return kPlaySequential;
    case 1:
        return kPlayLoopList;
    case 2:
        return kPlayRepeatOne;
    default:
        return std::nullopt;
    }
}

} // namespace

struct TZylMain::Extensions {
    std::unique_ptr<plugins::TUSGeneralPurpose> plugins;
    update::TCheckUPDate *checker = nullptr;
};

template <typename F> void TZylMain::Guarded(F &&body) {
    try {
        body();
    } catch (const std::exception &error) {
        ApplicationEventsException(&error);
    } catch (...) {
        ApplicationEventsException(nullptr);
    }
}

TZylMain::TZylMain(IMainView &view, TZylMainOptions options, QObject *parent)
    : QObject(parent), view_(view), options_(std::move(options)), cache_(std::make_unique<DownloadCache>()),
      ext_(std::make_unique<Extensions>()), tagPool_(std::make_unique<TagReadingPool>(this)),
      snapshots_(std::make_unique<CrashSnapshots>(options_.InstallCrashGuard)) {
    lanErrTimer_.setInterval(1000);
    trimTimer_.setSingleShot(true);
    trimTimer_.setInterval(kTrimDelayMs);
    connect(&trimTimer_, &QTimer::timeout, this, [] { system::TrimWorkingSet(); });
    for (auto change : {&PlaylistModel::rowsInserted, &PlaylistModel::rowsRemoved})
        connect(&model_, change, &trimTimer_, qOverload<>(&QTimer::start));
    connect(&model_, &PlaylistModel::modelReset, &trimTimer_, qOverload<>(&QTimer::start));
    connect(&lanErrTimer_, &QTimer::timeout, this, [this] { Guarded([this] { tmr_lanerrTimer(); }); });
}

TZylMain::~TZylMain() {
    FormDestroy();
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TZylMain::FormCreate() {
    if (created_)
        return;
    created_ = true;

    // 1. The fault notifier comes first, so a fault anywhere later still saves what exists.
    if (options_.InstallCrashGuard)
        InstallCrashGuard(&TZylMain::OnOsException);

    // 2. Arguments of this first process go through the command block like a later start's.
    if (options_.HandOwnArguments)
        options_.HandOwnArguments();

    // 4. Folders.
    appDir_ = WithSlash(options_.AppDir.empty() ? system::GetAppDir() : options_.AppDir);
    exePath_ = options_.ExePath.empty() ? system::GetExePath() : options_.ExePath;
    SetCrashReporter(appDir_ + "bugreport", "-os");
    // 5.
    dataDir_ = storage::GetSpecialFolder(storage::FolderCode::DocumentsAlias, false) + "lirvo/";
    storage::ForceFolder(dataDir_, true);
    snapshots_->Open();
    // 9, 10. The settings store; a file that is not well-formed is set aside and the defaults
    // apply. The lyric service address is a read-only setting, so the store is opened first.
    storage::OpenNote settingsNote;
    auto config = storage::TDKConfig::OpenRecovering(SettingsPath(), kSettingsRoot, &settingsNote);
    NoteFileProblem(OpenNoteText(settingsNote, SettingsPath()));
    lyricServiceUrl_ = config->ReadString("Network/LYRICS", "URL", "");
    updateUrl_ = config->ReadString("Network/UPDATE", "URL", "");
    lyrics::LrcServiceOptions serviceOptions;
    if (!lyricServiceUrl_.empty())
        serviceOptions.BaseUrl = lyricServiceUrl_;
    serviceOptions.NeteaseUrl = config->ReadString("Network/NETEASE", "URL", "");
    serviceOptions.QqMusicUrl = config->ReadString("Network/QQMUSIC", "URL", "");
    serviceOptions.KugouUrl = config->ReadString("Network/KUGOU", "URL", "");
    // An order naming no known service ("none") turns every service off; a missing one means
    // every service.
    static constexpr const char *kNoOrder = "\x01";
    if (const std::string order = config->ReadString("Network/LYRICSOURCES", "ORDER", kNoOrder); order != kNoOrder)
        serviceOptions.Sources = lyrics::services::ParseSourceOrder(order);
    serviceOptions.NoLyricFile = dataDir_ + "nolyric.lst";
    lrcService_ = options_.CreateLrcService
                      ? options_.CreateLrcService(lyrics::IID_ILrcService, serviceOptions)
                      : lyrics::LRC_CreateObj(lyrics::IID_ILrcService, serviceOptions);

    // 10.1 play mode
    int pattern = config->ReadInteger("Window/PLAY", "PATTERN", 0);
    playModeIndex_ = ModeForPattern(pattern) ? pattern : -1;
    playMode_ = ModeForPattern(pattern).value_or(kPlaySequential);
    Q_EMIT playModeIndexChanged();
    // 10.2, 10.3 lyric and music folders, used exactly as stored unless missing.
    lyricDir_ = config->ReadString("Window/LRC", "PATH", dataDir_ + "lrc");
    if (!storage::ForceFolder(lyricDir_, false)) {
        lyricDir_ = dataDir_ + "lrc/";
        storage::ForceFolder(lyricDir_, true);
    }
    Q_EMIT lyricDirChanged();
    musicDir_ = config->ReadString("Window/MUSIC", "PATH", dataDir_ + "music");
    if (!storage::ForceFolder(musicDir_, false)) {
        musicDir_ = dataDir_ + "music/";
        storage::ForceFolder(musicDir_, true);
    }
    Q_EMIT musicDirChanged();
    // 10.4 playlist file
    playlistPath_ = config->ReadString("Window/PLIST", "PATH", dataDir_ + "Default.pls");
    if (!IsFile(playlistPath_))
        playlistPath_ = dataDir_ + "Default.pls";
    // 10.5 preset
    eqPresetId_ = config->ReadInteger("Window/EQ", "ID", 0);
    // 10.6 autostart: registered again on every start while the setting is on.
    // A start never turns back on what the user turned off in the desktop's own settings.
    // (The entry itself is written by StartEngine.)
    autoRun_ = config->ReadBool("Window/AUTORUN", "Value", true) && !system::AutostartDisabledByDesktop();
    Q_EMIT autoRunChanged();
    // 10.7 - 10.10 desktop lyrics
    showLyrics_ = config->ReadBool("Window/DESKTOPLRC", "SHOW", true);
    Q_EMIT showLyricsChanged();
    lyricsLocked_ = config->ReadBool("Window/DESKTOPLRC", "LOCK", false);
    followOthers_ = config->ReadBool("Window/DESKTOPLRC", "FOLLOW", true);
    view_.SetDesktopLyricLocked(lyricsLocked_);
    Q_EMIT lyricsLockedChanged();
    view_.ShowText(kSloganText);
    if (showLyrics_)
        btn_lrcClick();
    // 10.11 volume (no engine yet, so the slider's change is not passed on)
    volume_ = std::clamp<double>(config->ReadInteger("Window/Volume", "Value", 65), 0.0, 100.0);
    Q_EMIT volumeChanged();
    config.reset();

    if (!options_.Library)
        throw std::invalid_argument("TZylMain needs an audio library");

    // 14 - 16 presets, records, timeline.
    LoadPresetNames();
    records_.clear();
    timeline_ = std::make_unique<lyrics::TLrcClass>();

    // 19 - 21 the stored playlist.
    LoadPlayList();
    SetPlaylistVisible(model_.Count() > 0);
    setProgressOpacity(0);
    RefreshSettingsSnapshot();

    // 11 - 13, 17, 18: the engine, the plug-ins and the update check.
    if (!options_.DeferEngine)
        StartEngine();
}

void TZylMain::StartEngine() {
    if (!created_ || destroyed_ || engineStarted_)
        return;
    engineStarted_ = true;

    // 10.6 the autostart entry, registered again on every start while the setting is on; never
    // for a build run from its build tree.
    if (autoRun_ && !system::RunsFromBuildTree(exePath_)) {
        Guarded([this] {
            options_.SetAutorun ? options_.SetAutorun(true) : system::SetAutorunFor(exePath_, true);
        });
    }

    // 11 - 13 the engine and its five reports.
    engine_ = std::make_unique<audio::TAudioEngine>(*options_.Library, 0, appDir_);
    engine_->OnStatus = audio::TStatusSlot::Bind<&TZylMain::OnStatus>(this);
    engine_->OnEnd = audio::TEndSlot::Bind<&TZylMain::OnEnd>(this);
    engine_->OnTick = {[](void *self, std::int32_t state, std::int32_t length, std::int32_t position,
                          const audio::TLevelBlock &, const audio::TSampleBlock &) {
                           static_cast<TZylMain *>(self)->OnTick(state, length, position);
                       },
                       this};
    engine_->OnDownload = audio::TDownloadSlot::Bind<&TZylMain::CacheDownloadBlock>(this);
    engine_->OnError = audio::TErrorSlot::Bind<&TZylMain::OnError>(this);
    engine_->SetVolume(static_cast<float>(volume_));
    engineForDownloads_.store(engine_.get());
    // The preset chosen at creation reaches the new engine.
    Guarded([this] { ApplyPreset(eqPresetId_); });

    // 17, 18 plug-ins and the update check.
    if (options_.LoadPlugins)
        ext_->plugins = std::make_unique<plugins::TUSGeneralPurpose>(0, appDir_ + "plugins");
    if (options_.StartUpdateCheck) {
        ext_->checker =
            update::TCheckUPDate::Start(exePath_, updateUrl_, this, [this](const update::TCheckUPDate &done) {
                ext_->checker = nullptr;
                if (!destroyed_)
                    update::UpdateCheckDone(done, appDir_);
            });
    }
}

void TZylMain::WriteSettingsValues(storage::TDKConfig &config) const {
    config.WriteInteger("Window/Volume", "Value", static_cast<std::int32_t>(std::lrint(volume_)));
    config.WriteString("Window/PLIST", "PATH", playlistPath_);
    config.WriteInteger("Window/PLAY", "PATTERN", PatternForMode(playMode_));
    config.WriteBool("Window/DESKTOPLRC", "SHOW", showLyrics_);
    config.WriteBool("Window/DESKTOPLRC", "LOCK", lyricsLocked_);
    config.WriteBool("Window/DESKTOPLRC", "FOLLOW", followOthers_);
    config.WriteBool("Window/AUTORUN", "Value", autoRun_);
    config.WriteBool("Window/RUNJM", "Value", false);
    config.WriteInteger("Window/EQ", "ID", eqPresetId_);
    config.WriteString("Window/SKIN", "NAME", "");
}

void TZylMain::SetLyricSources(const std::vector<std::string> &keys) {
    if (lrcService_)
        lrcService_->SetSources(keys);
    Guarded([&] {
        auto config = storage::TDKConfig::OpenRecovering(SettingsPath(), kSettingsRoot);
        // The store reads an empty value as a missing one, which means every service.
        config->WriteString("Network/LYRICSOURCES", "ORDER",
                            keys.empty() ? std::string("none") : lyrics::services::JoinSourceOrder(keys));
        config->Save();
    });
}

void TZylMain::SaveSettings() {
    {
        auto config = storage::TDKConfig::OpenRecovering(SettingsPath(), kSettingsRoot);
        WriteSettingsValues(*config);
        config->Save();
    }
    RefreshSettingsSnapshot();
}

void TZylMain::FormClose() {
    // Files still being tagged: keep the rows read so far and stop reading the rest, so that
    // quitting does not wait for a long add. Handed-over commands not read yet are dropped.
    commandQueue_.clear();
    Guarded([this] { tagPool_->Cancel(); });
    Guarded([this] { SavePlayList(); });
    Guarded([this] { SaveSettings(); });
}

void TZylMain::FormDestroy() {
    if (destroyed_ || !created_) {
        destroyed_ = true;
        return;
    }
    destroyed_ = true;
    lanErrTimer_.stop();
    cache_->Close();
    tagPool_->Cancel(); // completions see destroyed_ and keep nothing
    if (ext_->checker)
        ext_->checker->Cancel();
    // Freeing the engine's stream waits for a download block in flight; later blocks see no engine.
    engineForDownloads_.store(nullptr);
    engine_.reset();
    ext_->plugins.reset();
    if (lrcThread_) {
        lrcThread_->Detach();
        lrcThread_ = nullptr;
    }
    lrcService_.reset();
    timeline_.reset();
    records_.clear();
    if (options_.InstallCrashGuard)
        RemoveCrashGuard();
    snapshots_->Close();
}

void TZylMain::OnOsException(const void *, const void *, bool osException) {
    if (!osException)
        return;
    WriteCrashSnapshotsAndReport();
    // The fault handler reports the signal and ends the process by its default action.
}

void TZylMain::ApplicationEventsException(const std::exception *) {
    // Dropped on purpose: the operation that failed simply stops, without a message.
}

// ---------------------------------------------------------------------------------------------
// Transport and play order

void TZylMain::PlayRecord(int index) {
    StartEngine();
    const TPlayListItem *record = Record(index);
    if (!record || !engine_)
        return;
    // A new open supersedes a failed one: its pending skip must not move the list on later.
    lanErrTimer_.stop();
    cache_->SetPending(musicDir_, record->Caption, record->Path);
    engine_->PlayFile(record->Path);
}

void TZylMain::btn_playClick() {
    Guarded([this] {
        StartEngine();
        if (model_.Count() == 0 || !engine_)
            return;
        switch (engine_->State.load()) {
        case audio::kStateStopped:
        case audio::kStateEnded:
            if (currentIndex_ < 0)
                SetCurrentIndexValue(0);
            if (!Record(currentIndex_))
                return;
            model_.SetSelectedIndex(currentIndex_);
            PlayRecord(currentIndex_);
            break;
        case audio::kStatePlaying:
            engine_->Pause();
            break;
        case audio::kStatePaused:
            engine_->Resume();
            break;
        default:
            break; // connecting or open failed
        }
    });
}

void TZylMain::btn_nextClick() {
    Guarded([this] {
        StartEngine();
        if (model_.Count() == 0 || !engine_)
            return;
        std::int32_t next = currentIndex_ + 1;
        if (next >= model_.Count())
            next = 0;
        SetCurrentIndexValue(next);
        engine_->Stop();
        btn_playClick();
    });
}

void TZylMain::btn_previousClick() {
    Guarded([this] {
        StartEngine();
        // Before the first row there is nothing further back: the index stays at -1.
        if (model_.Count() == 0 || !engine_ || currentIndex_ < 0)
            return;
        SetCurrentIndexValue(currentIndex_ - 1);
        if (currentIndex_ >= 0) {
            engine_->Stop();
            btn_playClick();
        }
    });
}

void TZylMain::tbrmainMouseDown(double x, double width) {
    Guarded([&] {
        if (!engine_ || !(width > 0))
            return;
        const auto position = static_cast<std::int32_t>(std::nearbyint(progressMaximum_ * x / width));
        engine_->SetPosition(position);
        Q_EMIT seeked(position);
    });
}

void TZylMain::tbrVChange() {
    if (engine_)
        engine_->SetVolume(static_cast<float>(volume_));
}

void TZylMain::modBoxChange() {
    if (auto mode = ModeForPattern(playModeIndex_))
        playMode_ = *mode;
}

void TZylMain::tmr_lanerrTimer() {
    // Skip only while the row that failed is still the current one and still failed; the user
    // may have moved on meanwhile.
    if (!engine_ || engine_->State.load() != audio::kStateOpenFailed || currentIndex_ != lanErrRow_) {
        lanErrTimer_.stop();
        return;
    }
    if (playMode_ == kPlayRepeatOne) {
        btn_playClick();
    } else if (playMode_ == kPlaySequential && currentIndex_ >= model_.Count() - 1) {
        // In order, a failure on the last row ends playback as its end would, rather than
        // starting over from the first row.
        SetPlayButtonImage(0);
    } else {
        btn_nextClick();
    }
    LyricTrackEnded();
    NotifyPlugins(kPluginTrackEnded);
    lanErrTimer_.stop();
}

void TZylMain::OnStatus(std::int32_t status) {
    Q_EMIT engineStateChanged();
    switch (status) {
    case audio::kStateStopped:
    case audio::kStatePaused:
        SetPlayButtonImage(0);
        break;
    case audio::kStateConnecting:
        PrepareCacheNames();
        break; // on the open worker's thread
    case audio::kStatePlaying:
        TrackStarted();
        break;
    default:
        break;
    }
}

void TZylMain::TrackStarted() {
    // A preset that cannot be read must not stop the rest of the reaction.
    Guarded([this] { ApplyPreset(eqPresetId_); });
    const TPlayListItem *record = Record(currentIndex_);
    if (!record)
        return;
    LookupKey key{record->Path, record->Title, record->Songer, record->Caption};
    SetTitleText(record->Caption);
    const std::int32_t length = engine_->GetLength();
    following_ = false; // our own track takes the band back
    lookupLengthMs_ = length;
    SetProgressMaximum(length);
    timeline_->SetTrackLength(length);
    SetPlayButtonImage(1);
    HighlightRow(currentIndex_);
    NotifyPlugins(kPluginTrackStarted);
    timeline_->LoadText("");
    bandLineTimed_ = false;
    lyricFile_.clear();
    view_.ShowText(kLookupPlaceholder);
    playingTrack_ = key;
    if (!lrcThread_)
        StartLyricLookup(key);
    else
        lookupWanted_ = true; // runs once the earlier lookup has ended
}

void TZylMain::OnEnd(std::int32_t) {
    Q_EMIT engineStateChanged();
    // Reported on the library's notification thread; the reaction belongs to the main thread.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { EndOfTrack(); }); }, Qt::QueuedConnection);
}

void TZylMain::EndOfTrack() {
    // A track that ended while the user already moved on (the state is no longer "ended")
    // must not move the list a second time.
    if (!engine_ || engine_->State.load() != audio::kStateEnded)
        return;
    switch (playMode_) {
    case kPlaySequential:
        if (currentIndex_ < model_.Count() - 1)
            btn_nextClick();
        else
            SetPlayButtonImage(0); // the list has played out: a click plays again
        break;
    case kPlayLoopList:
        btn_nextClick();
        break;
    case kPlayRepeatOne:
        btn_playClick();
        break;
    default:
        break;
    }
    LyricTrackEnded();
    NotifyPlugins(kPluginTrackEnded);
    trimTimer_.start();
}

void TZylMain::OnTick(std::int32_t state, std::int32_t length, std::int32_t position) {
    if (showLyrics_ && timeline_ && engine_) {
        // The karaoke sweep follows the clock on every tick, and a word-timed line gives way to
        // the next one on time; other lines change every tenth tick.
        view_.SetLyricClock(position, state == audio::kStatePlaying);
        if (bandLineTimed_ && tickCounter_ + 1 < kTicksPerStep)
            ShowLyricAt(position);
    }
    if (++tickCounter_ < kTicksPerStep)
        return;
    if (progressOpacity_ == 1.0)
        SetProgressValue(position);
    if (showLyrics_ && timeline_ && engine_)
        ShowLyricAt(engine_->GetPosition());
    QueueFollowingRow(length, position);
    tickCounter_ = 0;
}

void TZylMain::QueueFollowingRow(std::int32_t length, std::int32_t position) {
    if (!engine_ || engine_->State.load() != audio::kStatePlaying)
        return;
    // Asked again at every step, so a change of the list or the play mode near the end
    // replaces (or cancels) what was opened ahead.
    std::string next;
    if (length > 0 && length - position <= kGaplessLeadMs) {
        if (auto row = RowAfterTrackEnd(playMode_, currentIndex_, model_.Count())) {
            const TPlayListItem *record = Record(*row);
            if (record && !IsNetworkLocation(record->Path))
                next = record->Path;
        }
    }
    engine_->QueueNext(next);
}

void TZylMain::ShowLyricAt(std::int32_t position) {
    timeline_->SetPosition(position);
    bandLineTimed_ = false;
    if (text::IsBlank(timeline_->CurrentLine())) {
        view_.ShowText(kNoLinePlaceholder);
        SetBandLine({}, {});
        return;
    }
    TBandLine line = BandLineOf(*timeline_);
    bandLineTimed_ = !line.Words.empty();
    view_.ShowLyricLine(line);
    // The slogan an empty timeline shows is no lyric line.
    if (line.Text == lyrics::kLyricSlogan)
        SetBandLine({}, {});
    else
        SetBandLine(line.Text, line.Translation);
}

void TZylMain::SetBandLine(const std::string &text, const std::string &translation) {
    if (text == bandText_ && translation == bandTranslation_)
        return;
    bandText_ = text;
    bandTranslation_ = translation;
    Q_EMIT bandLineChanged();
}

void TZylMain::SetFollowOthers(bool on) {
    if (on == followOthers_)
        return;
    followOthers_ = on;
    if (!on && following_)
        FollowingEnded();
    Q_EMIT followOthersChanged();
    RefreshSettingsSnapshot();
}

bool TZylMain::OwnPlaybackActive() const {
    if (!engine_)
        return false;
    const std::int32_t state = engine_->State.load();
    return state == audio::kStatePlaying || state == audio::kStatePaused || state == audio::kStateConnecting;
}

void TZylMain::FollowedTrackStarted(const std::string &path, const std::string &title, const std::string &artist,
                                    std::int32_t lengthMs, const std::string &lyricText) {
    Guarded([&] {
        if (!followOthers_ || OwnPlaybackActive() || !timeline_)
            return;
        following_ = true;
        lookupLengthMs_ = std::max<std::int32_t>(lengthMs, 0);
        timeline_->LoadText("");
        timeline_->SetTrackLength(lookupLengthMs_);
        bandLineTimed_ = false;
        lyricFile_.clear();
        LookupKey key{path, title, artist, MakeCaption(title, artist)};
        playingTrack_ = key;
        // Text the player gives with its time tags stands for a lyric when there is no file
        // to look beside.
        if (path.empty() && lyricText.find("[0") != std::string::npos && lyricText.find(':') != std::string::npos) {
            ForgetLyric();
            timeline_->LoadText(lyricText);
            timeline_->SetTrackLength(lookupLengthMs_);
            return;
        }
        view_.ShowText(kLookupPlaceholder);
        if (!lrcThread_)
            StartLyricLookup(key);
        else
            lookupWanted_ = true;
    });
}

void TZylMain::FollowedClock(std::int32_t positionMs, bool playing) {
    if (!following_ || !showLyrics_ || !timeline_ || OwnPlaybackActive())
        return;
    view_.SetLyricClock(positionMs, playing);
    ShowLyricAt(positionMs);
}

void TZylMain::FollowingEnded() {
    if (!following_)
        return;
    following_ = false;
    playingTrack_.reset();
    if (timeline_)
        timeline_->LoadText("");
    ForgetLyric();
    bandLineTimed_ = false;
    view_.ShowText(kSloganText);
}

void TZylMain::FollowedWithoutProgress(const std::string &text) {
    if (!following_ || OwnPlaybackActive())
        return;
    SetBandLine({}, {});
    view_.ShowText(text);
}

void TZylMain::SetLyricsLocked(bool locked) {
    if (locked == lyricsLocked_)
        return;
    lyricsLocked_ = locked;
    view_.SetDesktopLyricLocked(locked);
    Q_EMIT lyricsLockedChanged();
    RefreshSettingsSnapshot();
}

void TZylMain::OnError(std::int32_t, std::int32_t code) {
    Q_EMIT engineStateChanged();
    if (code == audio::kEngineErrorDevice) {
        // Not the row's fault: stay on it and say why; the next play tries the output again.
        SetTitleText(kNoOutputDeviceText);
        return;
    }
    // Only a failed open of the current row starts the skip (an open stopped by next or
    // previous during 1005 is no failure).
    if (code != 0 && engine_ && engine_->State.load() == audio::kStateOpenFailed && !lanErrTimer_.isActive()) {
        if (const TPlayListItem *record = Record(currentIndex_)) {
            const std::string name = !text::IsBlank(record->Title) ? record->Title
                                     : !text::IsBlank(record->Caption) ? record->Caption
                                                                       : record->Path;
            const std::string message =
                audio::CannotPlayText(name, audio::DescribeOpenFailure(code, record->Path, engine_->Filter));
            SetTitleText(message);
            std::fprintf(stderr, "lirvo: %s (%s)\n", message.c_str(), record->Path.c_str());
        }
        lanErrRow_ = currentIndex_;
        lanErrTimer_.start();
    }
}

void TZylMain::NotifyPlugins(std::int32_t code) {
    const TPlayListItem *record = Record(currentIndex_);
    if (model_.Count() == 0 || !record || !ext_->plugins)
        return;
    // Copies that stay put during the call, whatever a plug-in does to the list meanwhile.
    const std::string path = record->Path, title = record->Title, artist = record->Songer;
    TSongInfo info{};
    info.PathText = path.c_str();
    info.Duration = (engine_ ? engine_->GetLength() : 0) / 86400000.0;
    info.TitleText = title.c_str();
    info.TitleLength = static_cast<std::int32_t>(title.size());
    info.ArtistText = artist.c_str();
    info.ArtistLength = static_cast<std::int32_t>(artist.size());
    ext_->plugins->SendToPlugins(code, &info, 0);
}

// ---------------------------------------------------------------------------------------------
// Playlist

const TPlayListItem *TZylMain::Record(int index) const {
    if (index < 0 || index >= static_cast<int>(records_.size()))
        return nullptr;
    return &records_[static_cast<std::size_t>(index)];
}

void TZylMain::AddListRow(int number, const std::string &title, const std::string &artist,
                          const std::string &path) {
    model_.Append(PlaylistRow{number, MakeCaption(title, artist), title, artist, path, false, false});
}

void TZylMain::RebuildPlayList(bool clear) {
    if (clear)
        records_.clear();
    records_.reserve(records_.size() + model_.Rows().size());
    for (const PlaylistRow &row : model_.Rows())
        records_.push_back(TPlayListItem{row.caption, row.title, row.artist, row.path});
}

void TZylMain::HighlightRow(int index) {
    const auto &rows = model_.Rows();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        if (rows[static_cast<std::size_t>(r)].playing) {
            model_.SetPlaying(r, false);
            break;
        }
    }
    if (model_.IsRow(index))
        model_.SetPlaying(index, true);
}

std::string TZylMain::TitleFromFileName(const std::string &path) const {
    return FileNameTitle(path);
}

std::string FileNameTitle(const std::string &path) {
    std::size_t cut = path.find_last_of("/\\:");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return name;
    return name.substr(0, dot);
}

void TZylMain::ShowListOrInvitation() {
    SetPlaylistVisible(model_.Count() > 0);
}

void TZylMain::SavePlayList() {
    try {
        WritePlaylistRows(playlistPath_);
        if (auto written = ReadFileBytes(playlistPath_))
            snapshots_->PlaylistSaved(playlistPath_, std::move(*written));
        else
            RefreshPlaylistSnapshot();
    } catch (...) {
        ShowListOrInvitation();
        throw;
    }
    ShowListOrInvitation();
}

void TZylMain::LoadPlayList() {
    {
        storage::OpenNote note;
        auto list = storage::TDKPlist::OpenRecovering(playlistPath_, kPlaylistRoot, &note);
        NoteFileProblem(OpenNoteText(note, playlistPath_));
        list->LoadList(kPlaylistList);
        std::vector<PlaylistRow> rows;
        rows.reserve(static_cast<std::size_t>(list->Count()));
        for (int i = 0; i < list->Count(); ++i) {
            const storage::TPList &entry = *list->Entry(i);
            rows.push_back(PlaylistRow{i + 1, MakeCaption(entry.Title, entry.Artist), entry.Title,
                                       entry.Artist, entry.Path, false, false});
        }
        model_.AppendRows(std::move(rows));
        RebuildPlayList(false);
        list->FreeEntries();
    }
    RefreshPlaylistSnapshot();
}

std::string TZylMain::TitleForFile(const std::string &path, const std::string &titleTag) const {
    return text::IsBlank(titleTag) ? FileNameTitle(path) : titleTag;
}

void TZylMain::AddFilesFromDialog(std::function<void(bool)> done) {
    // The add-ons' file types belong in the dialog's filter, and their tags are read below.
    StartEngine();
    const std::string filter = command::FilterWithPlaylists(engine_ ? engine_->Filter : std::string());
    QPointer<TZylMain> self(this);
    view_.ShowOpenFileDialog(filter, [self, done](std::optional<std::vector<std::string>> files) {
        if (!self || self->destroyed_)
            return;
        if (!files) {
            if (done)
                done(false);
            return;
        }
        // Tags are read off the main thread; the rows are appended when all are known.
        TZylMain *controller = self.data();
        audio::TAudioEngine *engine = controller->engine_.get();
        // A chosen local playlist stands for its entries.
        auto reader = std::make_shared<DialogFileReader>(
            [engine](const std::string &path, audio::TTags &tags) {
                if (engine)
                    engine->GetTags(path, tags);
            });
        controller->tagPool_->Start(
            std::move(*files), [reader](const std::string &path, audio::TTags &tags) { reader->Read(path, tags); },
            [controller, done, reader](std::vector<std::string> read, std::vector<audio::TTags> tags, bool complete) {
                if (controller->destroyed_)
                    return;
                reader->Expand(read, tags);
                controller->Guarded([&] { controller->AppendTaggedFiles(read, tags); });
                if (complete && done)
                    done(true);
            });
    });
}

void TZylMain::AppendTaggedFiles(const std::vector<std::string> &files,
                                 const std::vector<audio::TTags> &tags) {
    try {
        const int before = model_.Count();
        std::vector<PlaylistRow> rows;
        rows.reserve(files.size());
        int refused = 0;
        for (std::size_t k = 0; k < files.size(); ++k) {
            // The playlist file holds UTF-8 text: such a name would come back changed after a
            // restart and no longer play, so it is refused here, with a word on the title line.
            if (!text::IsValidUtf8(files[k])) {
                ++refused;
                continue;
            }
            const std::string title = TitleForFile(files[k], tags[k].Title);
            rows.push_back(PlaylistRow{before + static_cast<int>(rows.size()) + 1,
                                       MakeCaption(title, tags[k].Artist), title, tags[k].Artist, files[k], false,
                                       false});
        }
        if (refused > 0)
            SayNamesRefused(refused);
        model_.AppendRows(std::move(rows));
        RebuildPlayList(true);
    } catch (...) {
        SavePlayList();
        throw;
    }
    SavePlayList();
}

void TZylMain::lbl_openClick() {
    const std::size_t before = records_.size();
    Guarded([&] {
        AddFilesFromDialog([this, before](bool added) {
            if (!added || before != 0)
                return;
            Guarded([this] {
                SetCurrentIndexValue(0);
                Stop();
                PlayRecord(0);
                if (model_.Count() > 0)
                    SetPlaylistVisible(true);
            });
        });
    });
}

std::string AskDeleteText(const std::string &title, const std::string &caption, const std::string &path) {
    std::string name = !text::IsBlank(title) ? title : !text::IsBlank(caption) ? caption : path;
    if (name == path) {
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos && slash + 1 < path.size())
            name = path.substr(slash + 1);
    }
    return "确定要删除《" + name + "》吗？";
}

void TZylMain::pmdel_delselectClick() {
    Guarded([this] {
        const int row = model_.SelectedIndex();
        if (row < 0 || askPending_)
            return;
        askPending_ = true;
        // The button's own row is deleted, even if the selection moves (to the playing row, for
        // one) while the question is open.
        const PlaylistRow &asked = model_.Row(row);
        const std::string path = asked.path;
        const std::string question = AskDeleteText(asked.title, asked.caption, path);
        QPointer<TZylMain> self(this);
        view_.MsgPop1(question, [self, row, path](int result) {
            if (!self)
                return;
            self->askPending_ = false;
            if (result == IMainView::kYes)
                self->Guarded([&] { self->DeleteRow(self->RowHolding(row, path)); });
        });
    });
}

int TZylMain::RowHolding(int row, const std::string &path) const {
    if (model_.IsRow(row) && model_.Row(row).path == path)
        return row;
    const auto &rows = model_.Rows();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        if (rows[static_cast<std::size_t>(r)].path == path)
            return r;
    return -1;
}

void TZylMain::DeleteRow(int index) {
    if (!model_.IsRow(index))
        return;
    if (index == currentIndex_) {
        Stop();
        EmptyLyric();
    } else if (index < currentIndex_) {
        SetCurrentIndexValue(currentIndex_ - 1);
    }
    if (index < static_cast<int>(records_.size()))
        records_.erase(records_.begin() + index);
    model_.Remove(index); // the list fades the row out as it goes
    model_.Renumber();
    SavePlayList();
}

void TZylMain::pmdel_clearlistClick() {
    Guarded([this] {
        if (model_.Count() == 0 || askPending_)
            return;
        askPending_ = true;
        QPointer<TZylMain> self(this);
        view_.MsgPop1(kAskClearText, [self](int result) {
            if (!self)
                return;
            self->askPending_ = false;
            if (result != IMainView::kYes)
                return;
            self->Guarded([&] {
                self->Stop();
                self->EmptyLyric();
                self->model_.Clear();
                self->records_.clear();
                self->SavePlayList();
            });
        });
    });
}

void TZylMain::plst_listItemDblClick() {
    Guarded([this] {
        StartEngine();
        const int selected = model_.SelectedIndex();
        if (selected < 0 || !engine_ || engine_->State.load() == audio::kStateConnecting)
            return;
        engine_->Stop();
        SetCurrentIndexValue(selected);
        RebuildPlayList(true);
        PlayRecord(currentIndex_);
    });
}

void TZylMain::lstDefaultMouseMove(int row) {
    // The confirmation popup is modal: the list does not follow the pointer while it is open.
    if (askPending_ || !model_.IsRow(row))
        return;
    const auto &rows = model_.Rows();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        if (rows[static_cast<std::size_t>(r)].deleteVisible) {
            model_.SetDeleteVisible(r, false);
            break;
        }
    }
    model_.SetDeleteVisible(row, true);
    model_.SetSelectedIndex(row);
}

// ---------------------------------------------------------------------------------------------
// Presets

void TZylMain::LoadPresetNames() {
    presetNames_ = ReadPresetNames(appDir_ + "effect.dat");
    Q_EMIT presetNamesChanged();
    // Selecting the saved preset applies it; a saved id the list no longer offers leaves the
    // selection empty, which applies id -1 (no preset, gains unchanged).
    const int wanted =
        eqPresetId_ >= 0 && eqPresetId_ < static_cast<int>(presetNames_.size()) ? eqPresetId_ : -1;
    presetIndex_ = wanted;
    Q_EMIT presetIndexChanged();
    Guarded([this] { effBoxChange(); });
}

void TZylMain::ApplyPreset(std::int32_t id) {
    eqPresetId_ = id;
    ScanPresetGains(appDir_ + "effect.dat", id, [this](const PresetGains &gains) {
        if (engine_)
            engine_->SetEQ(gains);
    });
}

void TZylMain::effBoxChange() {
    ApplyPreset(presetIndex_);
}

// ---------------------------------------------------------------------------------------------
// Download cache

void TZylMain::PrepareCacheNames() {
    cache_->Choose();
}

void TZylMain::CacheDownloadBlock(const void *buffer, std::uint32_t length, void *) {
    audio::TAudioEngine *engine = engineForDownloads_.load();
    if (!engine)
        return;
    auto kept = cache_->Block(buffer, length, engine->DownloadedBytes, engine->DownloadSize.load());
    if (!kept)
        return;
    // The record and its row belong to the main thread.
    QMetaObject::invokeMethod(
        this, [this, kept = *kept] { Guarded([&] { CacheRepointed(kept.Source, kept.Target); }); },
        Qt::QueuedConnection);
}

void TZylMain::CacheRepointed(const std::string &source, const std::string &target) {
    // The current row normally is the one that was downloaded; if the list changed meanwhile,
    // the row that still holds the downloaded location is the one to repoint.
    int index = -1;
    if (Record(currentIndex_) && records_[static_cast<std::size_t>(currentIndex_)].Path == source)
        index = currentIndex_;
    for (int i = 0; index < 0 && i < static_cast<int>(records_.size()); ++i)
        if (records_[static_cast<std::size_t>(i)].Path == source)
            index = i;
    if (index < 0)
        return;
    records_[static_cast<std::size_t>(index)].Path = target;
    model_.SetPath(index, target);
    RefreshPlaylistSnapshot();
}

// ---------------------------------------------------------------------------------------------
// Lyrics

std::int32_t TZylMain::LyricClockMs() const {
    return timeline_ ? timeline_->Position() + timeline_->Offset() : 0;
}

void TZylMain::EmptyLyric() {
    lyricFile_.clear();
    ForgetLyric();
    if (timeline_)
        timeline_->LoadText("");
}

void TZylMain::ForgetLyric() {
    if (lyricSource_ != lyrics::TLyricSource::None || !lyricWhere_.empty()) {
        lyricSource_ = lyrics::TLyricSource::None;
        lyricWhere_.clear();
        Q_EMIT lyricSourceChanged();
    }
    SetBandLine({}, {});
}

void TZylMain::LyricTrackEnded() {
    lyricFile_.clear();
    ForgetLyric();
    if (!timeline_)
        return;
    timeline_->LoadText("");
    timeline_->SetTrackLength(0);
}

void TZylMain::StartLyricLookup(const LookupKey &key) {
    ForgetLyric(); // the last track's lyric is not this one's
    lyrics::TLrcTextThread::Request request;
    request.Path = key.Path;
    request.Title = key.Title;
    request.Singer = key.Songer;
    request.LyricDir = lyricDir_;
    request.OnlineAllowed = OnlineAllowed();
    // The track's length lets the online match tell versions of a song apart.
    request.DurationMs = lookupLengthMs_;
    runningLookup_ = key;
    lookupWanted_ = false;
    lrcThread_ = lyrics::TLrcTextThread::Start(
        lrcService_, std::move(request), this,
        [this](lyrics::TLrcTextThread &worker) { Guarded([&] { LyricLookupFinished(worker); }); });
}

void TZylMain::LyricLookupFinished(lyrics::TLrcTextThread &worker) {
    lrcThread_ = nullptr;
    const LookupKey key = runningLookup_.value_or(LookupKey{});
    runningLookup_.reset();
    if (playingTrack_ && !(key == *playingTrack_)) {
        // Another track started while this lookup ran: its result belongs to no track that
        // plays now. The lookup for the playing track runs instead.
        if (lookupWanted_)
            StartLyricLookup(*playingTrack_);
        return;
    }
    lookupWanted_ = false;
    timeline_->LoadText(worker.LrcText());
    timeline_->SetTrackLength(following_ ? lookupLengthMs_ : engine_ ? engine_->GetLength() : 0);
    // An online lyric was already saved into the lyric folder by the worker, under a name the
    // folder lookup finds again; shifts are kept in whichever file the lyric came from.
    lyricFile_ = worker.Result().LyricFile;
    lyricSource_ = worker.Result().Source;
    lyricWhere_ = worker.Result().Where;
    Q_EMIT lyricSourceChanged();
}

void TZylMain::LoadLyricText(const std::string &text) {
    LoadLyricFile(text, std::string());
}

void TZylMain::LoadLyricFile(const std::string &text, const std::string &file) {
    lyricFile_ = file;
    if (timeline_)
        timeline_->LoadText(text);
}

void TZylMain::SetLyricOffset(std::int32_t offsetMs) {
    if (!timeline_)
        return;
    timeline_->SetOffset(offsetMs);
    if (lyricFile_.empty())
        return; // an embedded lyric has no file of its own: the shift lasts until the next load
    if (!offsetWriter_)
        offsetWriter_ = std::make_unique<lyrics::TLyricOffsetWriter>();
    offsetWriter_->Write(lyricFile_, offsetMs);
}

void TZylMain::WaitForLyricWrites() {
    if (offsetWriter_)
        offsetWriter_->WaitIdle();
}

bool TZylMain::OnlineAllowed() const {
    return update::OnlineAllowed();
}
std::string TZylMain::MusicPathPrefix() const {
    return update::MusicPathPrefix();
}

void TZylMain::btn_lrcClick() {
    Guarded([this] {
        if (view_.IsControlBarVisible())
            view_.CloseControlBar();
        view_.SetDesktopLyricVisible(!view_.IsDesktopLyricVisible());
    });
}

void TZylMain::chkShowLrcClicked(bool checked) {
    setShowLyrics(checked);
    btn_lrcClick();
}

// ---------------------------------------------------------------------------------------------
// Settings panel

void TZylMain::chkAutoRunClick() {
    autoRun_ = !autoRun_;
    Q_EMIT autoRunChanged();
    // A build run from its build tree keeps the setting but registers nothing (it still removes
    // an entry when the box is cleared).
    if (autoRun_ && system::RunsFromBuildTree(exePath_))
        return Guarded([this] { RefreshSettingsSnapshot(); });
    Guarded([this] {
        options_.SetAutorun ? options_.SetAutorun(autoRun_) : system::SetAutorunFor(exePath_, autoRun_);
    });
    Guarded([this] { RefreshSettingsSnapshot(); });
}

void TZylMain::WriteFolderKey(bool lyricFolder) {
    {
        auto config = storage::TDKConfig::OpenRecovering(SettingsPath(), kSettingsRoot);
        if (lyricFolder)
            config->WriteString("Window/LRC", "PATH", lyricDir_);
        else
            config->WriteString("Window/MUSIC", "PATH", musicDir_);
        config->Save();
    }
    if (lyricFolder)
        Q_EMIT lyricDirChanged();
    else
        Q_EMIT musicDirChanged();
    RefreshSettingsSnapshot();
}

void TZylMain::PickFolder(bool lyricFolder) {
    std::string &folder = lyricFolder ? lyricDir_ : musicDir_;
    if (folder.empty())
        folder = dataDir_ + (lyricFolder ? "lrc" : "music");
    if (!storage::ForceFolder(folder, false)) {
        WriteFolderKey(lyricFolder); // a vanished folder: no picker, the old path is written again
        return;
    }
    QPointer<TZylMain> self(this);
    view_.SelectFolder(lyricFolder ? "选择歌词存放目录" : "选择歌曲缓存目录", folder,
                       [self, lyricFolder](std::optional<std::string> picked) {
                           if (!self)
                               return;
                           if (picked)
                               (lyricFolder ? self->lyricDir_ : self->musicDir_) = *picked;
                           self->Guarded([&] { self->WriteFolderKey(lyricFolder); });
                       });
}

void TZylMain::pmm_setdownClick() {
    Guarded([this] { PickFolder(true); });
}

void TZylMain::pmm_sdownClick() {
    Guarded([this] { PickFolder(false); });
}

void TZylMain::HudButton3Click() {
    Guarded([this] { SaveSettings(); });
    Q_EMIT flipBackRequested();
}

void TZylMain::pmm_lirvoClick() {
    system::OpenWebAddress(kProductSite);
}

// ---------------------------------------------------------------------------------------------
// Command messages and the command target

void TZylMain::WMSHARECMD(command::CommandBlock &block, std::int64_t lParam) {
    if (lParam == 1 && !destroyed_)
        commandQueue_.push_back(std::make_unique<command::CommandBlock>(block));
    std::memset(&block, 0, sizeof block);
    RunQueuedCommands();
}

void TZylMain::RunQueuedCommands() {
    while (!commandReading_ && !commandQueue_.empty() && !destroyed_) {
        const std::unique_ptr<command::CommandBlock> next = std::move(commandQueue_.front());
        commandQueue_.pop_front();
        const std::uint8_t code = next->Command;
        if (code == command::CmdPlayFile || code == command::CmdAddFile) {
            ReadCommandPath(std::string(next->Text, strnlen(next->Text, command::CommandTextMaxBytes)),
                            code == command::CmdPlayFile);
        } else {
            // Song lists need no file: they are carried out at once.
            command::WMSHARECMD(*next, 1, *this, MusicPathPrefix());
        }
    }
}

void TZylMain::ReadCommandPath(const std::string &path, bool play) {
    // The path's tags, or a local playlist and its entries' tags, are read by the tag-reading
    // pool; the rows are appended on this thread once known.
    commandReading_ = true;
    StartEngine(); // the tags are read through the engine, which may not have started yet
    audio::TAudioEngine *engine = engine_.get();
    auto rows = std::make_shared<std::vector<command::PathRow>>();
    const auto read = [engine, rows](const std::string &file, audio::TTags &) {
        *rows = command::ReadPathRows(file, [engine](const std::string &tagged) {
            audio::TTags tags;
            if (engine)
                engine->GetTags(tagged, tags);
            return command::SongTags{tags.Title, tags.Artist};
        });
    };
    tagPool_->Start({path}, read,
                    [this, path, play, rows](std::vector<std::string> readFiles, std::vector<audio::TTags>, bool) {
                        if (destroyed_)
                            return;
                        commandReading_ = false;
                        if (!readFiles.empty()) {
                            Guarded([&] { command::AddPathRows(*this, path, *rows, play); });
                            // Rows that did arrive are never lost, whatever went wrong.
                            Guarded([this] { SavePlayList(); });
                        }
                        RunQueuedCommands();
                    });
}

std::int32_t TZylMain::WMCMDPLAY(std::int64_t wParam, std::int64_t lParam) {
    return command::WMCMDPLAY(*this, wParam, lParam);
}

int TZylMain::RowCount() const {
    return model_.Count();
}

void TZylMain::SetCurrentIndex(std::int32_t index) {
    SetCurrentIndexValue(index);
}

std::optional<std::string> TZylMain::RecordPath(std::int32_t index) const {
    if (const TPlayListItem *record = Record(index))
        return record->Path;
    return std::nullopt;
}

command::SongTags TZylMain::GetTags(const std::string &path) {
    StartEngine();
    audio::TTags tags;
    if (engine_)
        engine_->GetTags(path, tags);
    return {tags.Title, tags.Artist};
}

void TZylMain::SayNamesRefused(int count) {
    SetTitleText("有 " + std::to_string(count) + " 个文件的名称不是 UTF-8 文本，未能添加");
}

void TZylMain::AppendRow(int number, const std::string &title, const std::string &artist,
                         const std::string &path) {
    AddListRow(number, title, artist, path);
    RebuildPlayList(true);
}

int TZylMain::EngineState() const {
    return engine_ ? engine_->State.load() : audio::kStateStopped;
}

void TZylMain::Stop() {
    if (engine_)
        engine_->Stop();
}

void TZylMain::PlayFile(const std::string &path) {
    StartEngine();
    if (!engine_)
        return;
    std::string caption = FileNameTitle(path);
    if (Record(currentIndex_) && records_[static_cast<std::size_t>(currentIndex_)].Path == path)
        caption = records_[static_cast<std::size_t>(currentIndex_)].Caption;
    cache_->SetPending(musicDir_, caption, path);
    engine_->PlayFile(path);
}

// ---------------------------------------------------------------------------------------------
// Properties

QStringList TZylMain::PresetNames() const {
    QStringList names;
    for (const auto &name : presetNames_)
        names << QString::fromStdString(name);
    return names;
}

void TZylMain::NoteFileProblem(const std::string &text) {
    if (text.empty())
        return;
    // Several notes at start-up share the title line rather than hide each other.
    SetTitleText(titleText_ == kSloganText ? text : titleText_ + "；" + text);
}

void TZylMain::SetTitleText(const std::string &text) {
    if (text == titleText_)
        return;
    titleText_ = text;
    Q_EMIT titleTextChanged();
}

void TZylMain::SetProgressMaximum(int value) {
    if (value == progressMaximum_)
        return;
    progressMaximum_ = value;
    Q_EMIT progressMaximumChanged();
}

void TZylMain::SetProgressValue(int value) {
    if (value == progressValue_)
        return;
    progressValue_ = value;
    Q_EMIT progressValueChanged();
}

void TZylMain::SetPlayButtonImage(int index) {
    if (index == playButtonImage_)
        return;
    playButtonImage_ = index;
    Q_EMIT playButtonImageChanged();
}

void TZylMain::SetPlaylistVisible(bool visible) {
    if (visible == playlistVisible_)
        return;
    playlistVisible_ = visible;
    Q_EMIT playlistVisibleChanged();
}

void TZylMain::SetCurrentIndexValue(std::int32_t index) {
    if (index == currentIndex_)
        return;
    currentIndex_ = index;
    Q_EMIT currentIndexChanged();
}

void TZylMain::setProgressOpacity(double opacity) {
    if (opacity == progressOpacity_)
        return;
    progressOpacity_ = opacity;
    Q_EMIT progressOpacityChanged();
}

void TZylMain::setVolume(double volume) {
    volume = std::clamp(volume, 0.0, 100.0);
    if (volume == volume_)
        return;
    volume_ = volume;
    Q_EMIT volumeChanged();
    Guarded([this] { tbrVChange(); });
    Guarded([this] { RefreshSettingsSnapshot(); });
}

void TZylMain::setPlayModeIndex(int index) {
    if (index == playModeIndex_)
        return;
    playModeIndex_ = index;
    Q_EMIT playModeIndexChanged();
    modBoxChange();
    Guarded([this] { RefreshSettingsSnapshot(); });
}

void TZylMain::setPresetIndex(int index) {
    if (index < -1 || index >= static_cast<int>(presetNames_.size()) || index == presetIndex_)
        return;
    presetIndex_ = index;
    Q_EMIT presetIndexChanged();
    Guarded([this] { effBoxChange(); });
    Guarded([this] { RefreshSettingsSnapshot(); });
}

void TZylMain::setShowLyrics(bool show) {
    if (show == showLyrics_)
        return;
    showLyrics_ = show;
    Q_EMIT showLyricsChanged();
    Guarded([this] { RefreshSettingsSnapshot(); });
}

// ---------------------------------------------------------------------------------------------
// Crash-time copies

void TZylMain::WritePlaylistRows(const std::string &path) const {
    auto list = storage::TDKPlist::OpenRecovering(path, kPlaylistRoot);
    list->ClearList(kPlaylistList);
    for (const PlaylistRow &row : model_.Rows())
        list->AddEntry(kPlaylistEntry, row.title, row.artist, "0", row.path, 0);
    list->Save();
}

void TZylMain::RefreshPlaylistSnapshot() {
    if (destroyed_)
        return;
    snapshots_->RefreshPlaylist(playlistPath_, [this](const std::string &work) { WritePlaylistRows(work); });
}

void TZylMain::RefreshSettingsSnapshot() {
    if (destroyed_ || dataDir_.empty())
        return;
    snapshots_->RefreshSettings(SettingsPath(), [this](const std::string &work) {
        auto config = storage::TDKConfig::OpenRecovering(work, kSettingsRoot);
        WriteSettingsValues(*config);
        config->Save();
    });
}

} // namespace lirvo::shell
