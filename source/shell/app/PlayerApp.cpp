#include "shell/app/PlayerApp.h"

#include "function/system/StartupTrace.h"
#include "function/tray/DDTray.h"
#include "function/tray/SessionEnd.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/views/Unt_DlrcButton.h"
#include "platform/MessagePort.h"
#include "shell/app/MainMenu.h"
#include "shell/app/QmlMainView.h"
#include "shell/app/SvgPictureProvider.h"
#include "shell/command/CommandBlock.h"
#include "shell/command/mapshare.h"
#include "follow/MprisFollower.h"
#include "shell/mpris/LyricsBus.h"
#include "shell/mpris/MprisService.h"
#include "shell/mpris/MprisState.h"

#include <QDBusConnection>

#include <cstdio>
#include <limits>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

namespace lirvo::app {

PlayerApp::PlayerApp(PlayerAppOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options)) {}

PlayerApp::~PlayerApp() {
    // A library that finishes loading from now on finds no player to start the engine of.
    m_alive.reset();
    // The window goes first (its bindings read the controller), then the controller's own end.
    m_follower.reset();
    m_lyricsBus.reset();
    m_mpris.reset();
    m_sessionEnd.reset();
    m_tray.reset();
    m_trayMenu.reset();
    m_engine.reset();
    delete m_menu;
    m_port.reset();
    if (m_controller)
        m_controller->FormDestroy();
    m_controller.reset();
    m_view.reset();
}

void PlayerApp::ListenForCommands() {
    m_port = std::make_unique<platform::MessagePortServer>();
    const bool ok = m_port->Listen(command::MainWindowClass, command::MainWindowCaption,
                                   [this](const platform::PortMessage &m) -> std::int32_t {
                                       if (!m_controller || m_closed)
                                           return -1;
                                       if (m.message == command::WM_SHARECMD) {
                                           // Own arguments first, then the shared block's command;
                                           // the block is free for the next writer before it runs.
                                           command::TakeCommands([&](command::CommandBlock &taken) {
                                               m_controller->WMSHARECMD(taken, m.lParam);
                                           });
                                           return 0;
                                       }
                                       if (m.message == command::WM_CMDPLAY &&
                                           m.wParam == command::CmdPlayShowWindow && m.lParam == 0) {
                                           ShowMainWindow();
                                           return 1;
                                       }
                                       if (m.message == command::WM_CMDPLAY)
                                           return m_controller->WMCMDPLAY(m.wParam, m.lParam);
                                       return -1;
                                   });
    if (!ok)
        qWarning("lirvo: the command port could not be opened: %s", m_port->Error().c_str());
}

void PlayerApp::ConnectControlBar(lyrics::TZylDlrcButton &bar) {
    // The control bar over the desktop lyric shifts the playing lyric's timing, opens the
    // search window for the current row, and closing the lyric from it unticks "显示歌词".
    shell::TZylMain *c = m_controller.get();
    bar.SetOffsetAccess({[c] { return c->Timeline() ? c->Timeline()->Offset() : 0; },
                         [c](std::int32_t offset) { c->SetLyricOffset(offset); }});
    lyrics::TLyricSearchContext search;
    search.Service = c->LrcService();
    search.LyricDir = [c] { return c->LyricDir(); };
    search.CurrentSong = [c]() -> std::optional<lyrics::TSongRef> {
        const shell::TPlayListItem *record = c->Record(c->CurrentIndex());
        if (!record)
            return std::nullopt;
        return lyrics::TSongRef{record->Title, record->Songer};
    };
    search.LoadText = [c](const std::string &text) { c->LoadLyricText(text); };
    search.LoadLyricFile = [c](const std::string &text, const std::string &file) { c->LoadLyricFile(text, file); };
    search.SourcesChanged = [c](const std::vector<std::string> &keys) { c->SetLyricSources(keys); };
    bar.SetSearchContext(std::move(search));
    connect(&bar, &lyrics::TZylDlrcButton::LyricsClosed, this, [c] { c->setShowLyrics(false); });
}

bool PlayerApp::Start() {
    QQuickWindow::setDefaultAlphaBuffer(true);
    m_view = std::make_unique<QmlMainView>();
    // The desktop lyric shows once the main window has drawn itself.
    m_view->HoldBand();
    m_view->OnBandMade([this](lyrics::TZylDlrcButton &bar) { ConnectControlBar(bar); });
    m_view->SetMenuMaker([this] { return Menu(); });
    if (m_options.ListenForCommands)
        ListenForCommands();

    // The engine starts after the first frame (FinishStart), or earlier when a command or a
    // click needs it.
    m_options.Controller.DeferEngine = true;
    m_controller = std::make_unique<shell::TZylMain>(*m_view, m_options.Controller);
    m_controller->FormCreate();
    system::StartupMark("controller created");

    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->addImageProvider(QLatin1String(SvgPictureProvider::kScheme), new SvgPictureProvider);
    m_engine->setInitialProperties(
        {{QStringLiteral("zylMain"), QVariant::fromValue<QObject *>(m_controller.get())},
         {QStringLiteral("mainView"), QVariant::fromValue<QObject *>(m_view.get())}});
    m_engine->load(m_options.MainQml);
    const auto roots = m_engine->rootObjects();
    m_window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
    if (!m_window) {
        m_error =
            QStringLiteral("the main window could not be loaded from %1").arg(m_options.MainQml.toString());
        return false;
    }
    system::StartupMark("main window loaded");
    m_view->SetWindow(m_window);
    // The window system's close (for example Alt+F4) ends the program as "退出" does.
    m_window->installEventFilter(this);
    connect(
        m_window, &QQuickWindow::frameSwapped, this,
        [this] {
            system::StartupMark("first frame");
            Q_EMIT firstFrameShown();
            QMetaObject::invokeMethod(this, &PlayerApp::FinishStart, Qt::QueuedConnection);
        },
        Qt::SingleShotConnection);
    // A window that is never drawn (not exposed) does not hold the rest back for long.
    QTimer::singleShot(kFinishStartLatestMs, this, &PlayerApp::FinishStart);

    if (m_options.WatchSessionEnd) {
        m_sessionEnd = std::make_unique<tray::TSessionEndWatcher>();
        connect(m_sessionEnd.get(), &tray::TSessionEndWatcher::EndSession, this, [this] { Quit(); });
    }
    // However the event loop ends, what "退出" saves is saved.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!m_closed && m_controller) {
            m_closed = true;
            m_controller->FormClose();
        }
    });

    m_window->show();
    system::StartupMark("main window shown");
    return true;
}

QMenu *PlayerApp::Menu() {
    if (!m_menu && m_controller) {
        m_menu = CreateMainMenu(*m_controller, [this] { Quit(); });
        m_view->SetMenu(m_menu);
    }
    return m_menu;
}

void PlayerApp::FinishStart() {
    if (m_finishing || m_quitting)
        return;
    m_finishing = true;
    if (!m_options.WindowIcon.isEmpty())
        QGuiApplication::setWindowIcon(QIcon(m_options.WindowIcon));
    // The window's own parts its first frame did not show (the settings face, the confirmation).
    QMetaObject::invokeMethod(m_window, "finishStart");
    m_view->ReleaseBand();
    Menu();
    if (m_options.TrayIcon) {
        m_trayMenu = std::make_unique<tray::TWidgetTrayMenu>(m_menu);
        m_tray = std::make_unique<tray::TDDTrayIcon>();
        m_tray->setObjectName(QStringLiteral("trycn_main"));
        m_tray->SetWindow(m_window);
        m_tray->SetPopupMenu(m_trayMenu.get());
        m_tray->SetRestoreOn(tray::TDDTrayIconClicks::ticLeftClick);
        m_tray->SetPopupMenuOn(tray::TDDTrayIconClicks::ticRightClick);
        m_tray->SetHint(QStringLiteral("Lirvo"));
        m_view->SetMinimizer([tray = m_tray.get()] { tray->MinimizeApp(); });
    }
    if (m_options.MediaPlayerInterface) {
        m_mpris = mpris::MprisService::Start(*m_controller, {[this] { ShowMainWindow(); }, [this] { Quit(); }});
        if (m_mpris) {
            StartLyricsBus();
            StartFollowing();
        }
    }
    system::StartupMark("band, menu, tray and media-player interface made");
    if (!m_options.PrepareAudio) {
        StartEngine();
        return;
    }
    // The library is made ready off this thread; the engine starts back on it.
    m_options.PrepareAudio([this, alive = std::weak_ptr<bool>(m_alive)] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive] {
                if (alive.lock())
                    StartEngine();
            },
            Qt::QueuedConnection);
    });
}

void PlayerApp::StartEngine() {
    if (m_started || m_quitting)
        return;
    m_controller->StartEngine();
    m_started = true;
    system::StartupMark("engine started");
    Q_EMIT started();
}

bool PlayerApp::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_window && event->type() == QEvent::Close && !m_quitting)
        Quit();
    return QObject::eventFilter(watched, event);
}

void PlayerApp::ShowMainWindow() {
    if (!m_window)
        return;
    m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
    m_window->showNormal();
    m_window->raise();
    m_window->requestActivate();
}

void PlayerApp::Quit() {
    if (m_quitting)
        return;
    m_quitting = true;
    if (!m_closed && m_controller) {
        m_closed = true;
        m_controller->FormClose();
    }
    if (m_tray)
        m_tray->DeleteIcon();
    if (m_view)
        m_view->SetDesktopLyricVisible(false);
    if (m_window)
        m_window->close();
    QCoreApplication::quit();
}

void PlayerApp::StartLyricsBus() {
    m_lyricsBus = std::make_unique<mpris::TLyricsBus>();
    shell::TZylMain *controller = m_controller.get();
    m_lyricsBus->SetPositionSource([controller] { return static_cast<qint64>(controller->LyricClockMs()); });
    PublishLyrics();
    if (!m_lyricsBus->Start(QDBusConnection::sessionBus())) {
        std::fprintf(stderr, "lirvo: another player serves %s; the current line is not offered\n",
                     mpris::kLyricsServiceName);
        m_lyricsBus.reset();
        return;
    }
    connect(controller, &shell::TZylMain::bandLineChanged, this, [this] { PublishLyrics(); });
    connect(controller, &shell::TZylMain::lyricSourceChanged, this, [this] { PublishLyrics(); });
    connect(controller, &shell::TZylMain::currentIndexChanged, this, [this] { PublishLyrics(); });
    connect(controller, &shell::TZylMain::titleTextChanged, this, [this] { PublishLyrics(); });
    connect(controller, &shell::TZylMain::engineStateChanged, this, [this] { PublishLyrics(); }, Qt::QueuedConnection);
}

void PlayerApp::PublishLyrics() {
    if (!m_lyricsBus)
        return;
    const shell::TZylMain &c = *m_controller;
    mpris::TLyricsNow now;
    now.line = QString::fromStdString(c.BandLineText());
    now.translation = QString::fromStdString(c.BandTranslationText());
    now.positionMs = c.LyricClockMs();
    now.status = mpris::PlaybackStatusFor(c.EngineState());
    now.player = m_mpris ? m_mpris->ServiceName() : QString::fromLatin1(mpris::kOwnPlayerName);
    if (c.Following() && m_follower) {
        const follow::TFollowedTrack track = m_follower->Track();
        now.player = m_follower->FollowedName();
        now.title = QString::fromStdString(track.Title);
        now.artist = QString::fromStdString(track.Artist);
        now.positionMs = m_follower->PositionMs();
        const follow::TPlayback playback = m_follower->Status().Playback;
        now.status = playback == follow::TPlayback::Playing  ? QStringLiteral("Playing")
                     : playback == follow::TPlayback::Paused ? QStringLiteral("Paused")
                                                             : QStringLiteral("Stopped");
    } else if (const shell::TPlayListItem *record = c.Record(c.CurrentIndex())) {
        now.title = QString::fromStdString(record->Title);
        now.artist = QString::fromStdString(record->Songer);
    }
    now.source = mpris::LyricsSourceText(c.LyricSource(), c.LyricWhere());
    m_lyricsBus->Publish(now);
}

void PlayerApp::StartFollowing() {
    shell::TZylMain *controller = m_controller.get();
    m_follower = std::make_unique<follow::TMprisFollower>(QDBusConnection::sessionBus());
    m_followTicks = new QTimer(this);
    m_followTicks->setInterval(25);
    m_followTicks->setTimerType(Qt::PreciseTimer);
    connect(m_followTicks, &QTimer::timeout, this, [this, controller] {
        const qint64 position = m_follower->PositionMs();
        if (position >= 0)
            controller->FollowedClock(static_cast<std::int32_t>(position),
                                      m_follower->Status().Playback == follow::TPlayback::Playing);
    });
    connect(m_follower.get(), &follow::TMprisFollower::trackChanged, this, [this] { FollowedTrackChanged(); });
    connect(m_follower.get(), &follow::TMprisFollower::followedChanged, this, [this] { FollowedTrackChanged(); });
    connect(m_follower.get(), &follow::TMprisFollower::statusChanged, this, [this] {
        UpdateFollowing();
        PublishLyrics();
    });
    connect(m_follower.get(), &follow::TMprisFollower::progressUnavailable, this, [this, controller](bool none) {
        if (none)
            controller->FollowedWithoutProgress(follow::kNoProgressText);
        UpdateFollowing();
    });
    connect(controller, &shell::TZylMain::engineStateChanged, this, [this] { UpdateFollowing(); },
            Qt::QueuedConnection);
    connect(controller, &shell::TZylMain::followOthersChanged, this, [this] { UpdateFollowing(); });
    m_follower->SetOwnPlaybackActive(controller->OwnPlaybackActive());
    m_follower->SetEnabled(controller->FollowOthers());
}

void PlayerApp::FollowedTrackChanged() {
    shell::TZylMain &c = *m_controller;
    if (!m_follower || c.OwnPlaybackActive())
        return;
    if (m_follower->Status().Mode != follow::TFollowStatus::TMode::Player || m_follower->FollowedName().isEmpty()) {
        c.FollowingEnded();
        PublishLyrics();
        return;
    }
    const follow::TFollowedTrack track = m_follower->Track();
    if (track.Title.empty())
        return; // metadata still on its way
    // A regular file only (never a FIFO or a device); the lyric beside it and its tags are read.
    const std::string path =
        follow::IsReadableLocalFile(track.LocalPath, std::numeric_limits<std::uintmax_t>::max()) ? track.LocalPath
                                                                                                  : std::string();
    c.FollowedTrackStarted(path, track.Title, track.Artist, static_cast<std::int32_t>(std::max<std::int64_t>(track.LengthMs, 0)),
                           track.LyricText);
    UpdateFollowing();
    PublishLyrics();
}

void PlayerApp::UpdateFollowing() {
    if (!m_follower)
        return;
    shell::TZylMain &c = *m_controller;
    const bool own = c.OwnPlaybackActive();
    const bool wasOwn = m_follower->OwnPlaybackActive();
    m_follower->SetOwnPlaybackActive(own);
    m_follower->SetEnabled(c.FollowOthers());
    if (own) {
        m_followTicks->stop();
        return;
    }
    // Our own playback gave the band back: the followed player's track takes it again.
    if (wasOwn && !c.Following())
        FollowedTrackChanged();
    const bool ticking = c.Following() && m_follower->ProgressAvailable() &&
                         m_follower->Status().Playback != follow::TPlayback::Stopped;
    if (ticking && !m_followTicks->isActive())
        m_followTicks->start();
    else if (!ticking)
        m_followTicks->stop();
}

} // namespace lirvo::app
