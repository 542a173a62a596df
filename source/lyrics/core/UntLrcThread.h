#pragma once
// Lyric lookup: the name-similarity score, the lyric file beside a song and the best-named
// file in the lyric folder, the online fetch, and three workers that keep this slow work off
// the main thread.
//
// Workers (TLrcTextThread, TLrcListThread, TGetLrcTextThread)
// - Start() must be called on the main thread (the thread of QCoreApplication::instance()),
//   with an event loop running there. The body starts at once on its own thread; completions
//   and rows are delivered on the main thread through queued calls.
// - Every body runs inside a catch-all: an error ends it silently with the results as far as
//   they were set.
// - A worker frees itself right after its finished handler has returned (or, when detached,
//   right after its body ended). The owner keeps the returned pointer only until its finished
//   handler runs, and must not use it afterwards.
// - Abandoning a worker: Detach() (main thread) guarantees that no row call and no finished
//   handler runs any more; the body then ends on its own and the worker frees itself. A worker
//   started with a `context` object detaches itself when that object is destroyed, so a closed
//   window is never reached even if it forgets to call Detach(). After Detach() the owner
//   drops its pointer at once.
// - Calls into the shared service are serialised with ILrcService::SessionLock(): each worker
//   holds it for its whole Reset/Search/GetResult/Download sequence, so results of different
//   workers never mix. The main thread never waits for it: the list worker copies the
//   results while it holds the session and hands each row a copy, so row handlers never need
//   to call the service.
// - A worker still running when the application object goes away never completes; its memory
//   is left to the end of the process. Owners Detach() running workers when they shut down.

#include "function/text/FastStrings.h"
#include "lyrics/core/LRC_Header.h"
#include "lyrics/core/LyricLookup.h"

#include <QPointer>

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace lirvo::lyrics {

using LrcServiceRef = std::shared_ptr<ILrcService>;

// Name-similarity score 0..100 of two byte strings. With letter groups, letters match
// regardless of case and within the groups A E, B P, C Z, D T, F V, G K, I J Y.
int Similarity(std::string_view a, std::string_view b, bool letterGroups = true);

// ASCII letters lower-cased; every other byte unchanged.
using text::AsciiLower;

// The lyric file beside a song: the song's path with its extension replaced by ".lrc"
// ("/m/Song.flac" gives "/m/Song.lrc"; a name without extension gets ".lrc" appended).
std::string SiblingLyricPath(const std::string &songPath);

// The best-named "*.lrc" file in `lyricDir` for "title singer": the first file scoring 100,
// else the last listed one scoring 96..99; empty when none or the folder is missing or
// unreadable. Names and key are compared as NormalizeLyricName gives them (so "Title -
// Artist.lrc" scores 100), and "Artist - Title" (the common name in lyric collections) and the
// name earlier versions saved online lyrics under ("Title - Artist Artist") count as well.
// When none of these scores, a file named after the title alone is taken in the same way.
// Returns the full path with the name as listed.
std::string FindBestLyricFile(const std::string &lyricDir, const std::string &title,
                              const std::string &singer);

// Common part of the workers: thread, delivery to the main thread, detach and terminate.
class TLyricWorker {
public:
    TLyricWorker(const TLyricWorker &) = delete;
    TLyricWorker &operator=(const TLyricWorker &) = delete;

    // Main thread only. No further row call or finished handler; also requests termination.
    void Detach();
    // Asks the body to stop at its next check point (only the list worker checks, after each row).
    void Terminate();
    bool TerminateRequested() const { return m_shared->terminate.load(); }

    // Number of workers whose body is running or whose completion is still pending (any thread).
    static int ActiveCount();

protected:
    explicit TLyricWorker(QObject *context);
    virtual ~TLyricWorker();

    void Begin();                       // starts the body thread
    virtual void Body() = 0;            // runs on the worker thread
    virtual void DeliverFinished() = 0; // runs on the main thread unless detached
    // Runs `call` on the main thread while this thread waits. False when the worker was
    // detached (or its context destroyed) so that the call did not run.
    bool RunOnMainThreadAndWait(std::function<void()> call);

private:
    struct Shared {
        std::atomic<bool> detached{false};
        std::atomic<bool> terminate{false};
        std::mutex mutex;
        std::condition_variable wake;
        QPointer<QObject> context; // read on the main thread only
        bool hasContext = false;
        // True while the owner still wants rows and the finished call (main thread only).
        bool Deliverable() const { return !detached.load() && (!hasContext || !context.isNull()); }
    };
    void Complete();

    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::thread m_thread;
};

// Finds the lyric text for a song that starts playing, in the order of LyricLookup.h: beside
// the song, embedded in its tags, the lyric folder, online (when allowed and a service
// exists; an online lyric is saved into the lyric folder by the worker).
class TLrcTextThread final : public TLyricWorker {
public:
    struct Request {
        std::string Path; // the song's path or network address
        std::string Title;
        std::string Singer;
        std::string Extra;          // third search text; normally empty
        std::string LyricDir;       // lyric folder at the time of the call
        bool OnlineAllowed = false; // the update check's flag, read by the caller when starting
        std::string Album;          // for the online match; empty when unknown
        int32_t DurationMs = 0;     // track length for the online match; 0 when unknown
    };
    using FinishedHandler = std::function<void(TLrcTextThread &)>;

    static TLrcTextThread *Start(LrcServiceRef service, Request request, QObject *context,
                                 FinishedHandler onFinished);

    const Request &Args() const { return m_request; }
    // Lines joined, each followed by CR LF; empty when nothing was found.
    const std::string &LrcText() const { return m_lrcText; }
    // True once the online service was asked (even when it found nothing).
    bool FromOnline() const { return m_fromOnline; }
    // Where the text came from, and the lyric's own file (for the offset write-back).
    const TLyricLookupResult &Result() const { return m_result; }

private:
    TLrcTextThread(LrcServiceRef service, Request request, QObject *context, FinishedHandler onFinished);
    void Body() override;
    void DeliverFinished() override;

    LrcServiceRef m_service;
    Request m_request;
    FinishedHandler m_onFinished;
    std::string m_lrcText;
    bool m_fromOnline = false;
    TLyricLookupResult m_result;
};

// Searches the service and hands every result to `onRow` on the main thread, one call per
// row in result order while the worker waits; checks Terminate() after each row.
class TLrcListThread final : public TLyricWorker {
public:
    using RowHandler = std::function<void(int rowIndex, const TLrcResult &result)>;
    using FinishedHandler = std::function<void(TLrcListThread &)>;

    static TLrcListThread *Start(LrcServiceRef service, std::string title, std::string singer,
                                 std::string extra, QObject *context, RowHandler onRow,
                                 FinishedHandler onFinished);

    int RowIndex() const { return m_rowIndex.load(); } // index of the row being (or last) added
    int RowsAdded() const { return m_rowsAdded.load(); }
    // Why the search failed (the service's LastError), "" when it did not. Read it in the
    // finished handler.
    const std::string &Error() const { return m_error; }

private:
    TLrcListThread(LrcServiceRef service, std::string title, std::string singer, std::string extra,
                   QObject *context, RowHandler onRow, FinishedHandler onFinished);
    void Body() override;
    void DeliverFinished() override;

    LrcServiceRef m_service;
    std::string m_title, m_singer, m_extra;
    RowHandler m_onRow;
    FinishedHandler m_onFinished;
    std::atomic<int> m_rowIndex{-1};
    std::atomic<int> m_rowsAdded{0};
    std::string m_error;
};

// Downloads the text of one result of the service's latest search. When `id` is given (the
// Id the row was shown with) that Id is downloaded directly, which stays right even when
// another search has replaced the service's result list meanwhile.
class TGetLrcTextThread final : public TLyricWorker {
public:
    using FinishedHandler = std::function<void(TGetLrcTextThread &)>;

    static TGetLrcTextThread *Start(LrcServiceRef service, int resultIndex, QObject *context,
                                    FinishedHandler onFinished, std::optional<int32_t> id = std::nullopt);

    int ResultIndex() const { return m_resultIndex; }
    // The downloaded text up to its first NUL, as received; empty on failure.
    const std::string &LrcText() const { return m_lrcText; }

private:
    TGetLrcTextThread(LrcServiceRef service, int resultIndex, std::optional<int32_t> id, QObject *context,
                      FinishedHandler onFinished);
    void Body() override;
    void DeliverFinished() override;

    LrcServiceRef m_service;
    int m_resultIndex;
    std::optional<int32_t> m_id;
    FinishedHandler m_onFinished;
    std::string m_lrcText;
};

} // namespace lirvo::lyrics
