#include "lyrics/core/UntLrcThread.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricLookup.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace lirvo::lyrics {

namespace {

// Letter groups that sound alike: each letter maps to the first letter of its group.
constexpr std::array<unsigned char, 256> MakeGroupTable() {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[static_cast<std::size_t>(b)] =
            static_cast<unsigned char>((b >= 'a' && b <= 'z') ? b - 'a' + 'A' : b);
    constexpr std::string_view groups[] = {"AE", "BP", "CZ", "DT", "FV", "GK", "IJY"};
    for (std::string_view group : groups)
        for (char c : group) {
            auto head = static_cast<unsigned char>(group[0]);
            table[static_cast<unsigned char>(c)] = head;
            table[static_cast<unsigned char>(c - 'A' + 'a')] = head;
        }
    return table;
}
constexpr std::array<unsigned char, 256> kGroup = MakeGroupTable();


bool IsFile(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JoinPath(const std::string &dir, std::string_view name) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
}

bool EndsWithLrc(std::string_view name) {
    if (name.size() < 4)
        return false;
    std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'l' && (ext[2] | 0x20) == 'r' && (ext[3] | 0x20) == 'c';
}


std::atomic<int> g_activeWorkers{0};

// Earlier versions cut the names of saved online lyrics to this many bytes.
constexpr std::size_t kOldNameBytes = 100;

} // namespace

int Similarity(std::string_view a, std::string_view b, bool letterGroups) {
    if (a.empty() || b.empty())
        return 0;
    std::string_view s = a.size() >= b.size() ? a : b;
    std::string_view t = a.size() >= b.size() ? b : a;
    const long n = static_cast<long>(s.size());
    const long m = static_cast<long>(t.size());
    const long shift = n / 3 + (n - m);
    auto matches = [letterGroups](char x, char y) {
        if (letterGroups)
            return kGroup[static_cast<unsigned char>(x)] == kGroup[static_cast<unsigned char>(y)];
        return x == y;
    };
    // File names are short: keep the marks on the stack for them (the folder lookup scores
    // every file, so an allocation per score would dominate).
    std::array<char, 256> smallMarks{};
    std::vector<char> largeMarks;
    char *marked = smallMarks.data();
    if (n + 1 > static_cast<long>(smallMarks.size())) {
        largeMarks.assign(static_cast<std::size_t>(n) + 1, 0);
        marked = largeMarks.data();
    }
    long highestMarked = 0;
    long i = 1, j = 1, count = 0;
    auto wrapBack = [&] {
        i = highestMarked > 0 ? highestMarked : 1;
        ++j;
    };
    while (j <= m) {
        if (!marked[static_cast<std::size_t>(i)]) {
            if (matches(s[static_cast<std::size_t>(i - 1)], t[static_cast<std::size_t>(j - 1)]) &&
                std::labs(i - j) <= shift) {
                marked[static_cast<std::size_t>(i)] = 1;
                highestMarked = std::max(highestMarked, i);
                ++count;
                ++i;
                ++j;
                if (i > n)
                    i = 1;
            } else if (++i > n) {
                wrapBack();
            }
        } else if (++i > n) {
            wrapBack();
        }
    }
    return static_cast<int>(count * 100 / n);
}

std::string SiblingLyricPath(const std::string &songPath) {
    std::size_t slash = songPath.find_last_of('/');
    std::size_t dot = songPath.find_last_of('.');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return songPath + ".lrc";
    return songPath.substr(0, dot) + ".lrc";
}

std::string FindBestLyricFile(const std::string &lyricDir, const std::string &title,
                              const std::string &singer) {
    DIR *dir = ::opendir(lyricDir.empty() ? "." : lyricDir.c_str());
    if (!dir)
        return {};
    // Names are compared in normalised form, so "Title - Artist.lrc" scores 100. Files that
    // earlier versions saved as "Title - Artist Artist" (caption and artist) are found too.
    // Tags often carry stray blanks at their ends; saved names never do.
    const std::string t(text::TrimBlank(title)), a(text::TrimBlank(singer));
    std::vector<std::string> keys{NormalizeLyricName(t + " " + a)};
    if (!a.empty()) {
        std::string oldName = text::MakeValidFileName(t + " - " + a + " " + a);
        keys.push_back(NormalizeLyricName(text::Utf8Truncate(oldName, kOldNameBytes)));
        // Lyric collections mostly name files "Artist - Title".
        keys.push_back(NormalizeLyricName(a + " " + t));
    }
    // "Title.lrc" is taken only when no name with the artist scores.
    const std::string titleKey = a.empty() ? std::string() : NormalizeLyricName(t);
    std::string candidate, titleOnly;
    int titleOnlyScore = 0;
    std::string stem;
    while (const dirent *entry = ::readdir(dir)) {
        std::string_view name(entry->d_name);
        if (!EndsWithLrc(name))
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const std::size_t stemLength = name.size() - 4;
        // A score counts at most one match per byte of the shorter text, so a name too short
        // for every key cannot reach the threshold (normalising only shortens names).
        bool nearKey = !titleKey.empty() && stemLength * 100 >= 96 * titleKey.size();
        for (const std::string &key : keys)
            nearKey = nearKey || stemLength * 100 >= 96 * key.size();
        if (!nearKey)
            continue;
        stem = NormalizeLyricName(name.substr(0, stemLength));
        auto scoreAgainst = [&](const std::string &key) {
            const std::size_t longer = std::max(stem.size(), key.size());
            return std::min(stem.size(), key.size()) * 100 >= 96 * longer ? Similarity(stem, key) : 0;
        };
        int score = 0;
        for (const std::string &key : keys)
            score = std::max(score, scoreAgainst(key));
        const int titleScore = score < 96 && !titleKey.empty() ? scoreAgainst(titleKey) : 0;
        if (score < 96 && (titleScore < 96 || titleOnlyScore == 100))
            continue;
        std::string path = JoinPath(lyricDir, name);
        if (entry->d_type != DT_REG && !IsFile(path))
            continue;
        if (score < 96) {
            titleOnly = std::move(path);
            titleOnlyScore = titleScore;
            continue;
        }
        candidate = std::move(path);
        if (score == 100)
            break;
    }
    ::closedir(dir);
    return candidate.empty() ? titleOnly : candidate;
}

// ---- worker plumbing -------------------------------------------------------------------

TLyricWorker::TLyricWorker(QObject *context) {
    m_shared->context = context;
    m_shared->hasContext = context != nullptr;
    ++g_activeWorkers;
}

TLyricWorker::~TLyricWorker() {
    if (m_thread.joinable())
        m_thread.join();
    --g_activeWorkers;
}

int TLyricWorker::ActiveCount() {
    return g_activeWorkers.load();
}

void TLyricWorker::Detach() {
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->detached = true;
        m_shared->terminate = true;
    }
    m_shared->wake.notify_all();
}

void TLyricWorker::Terminate() {
    m_shared->terminate = true;
}

void TLyricWorker::Begin() {
    auto finish = [this] {
        // The worker is deleted only by Complete(), which runs after this post.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this] { Complete(); }, Qt::QueuedConnection);
    };
    try {
        m_thread = std::thread([this, finish] {
            try {
                Body();
            } catch (...) {
                // A failed lookup leaves its results as far as they were set.
            }
            finish();
        });
    } catch (const std::system_error &) {
        finish(); // no thread to be had: the worker ends at once with empty results
    }
}

void TLyricWorker::Complete() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_shared->Deliverable()) {
        try {
            DeliverFinished();
        } catch (...) {
            // A throwing handler must not keep the worker alive.
        }
    }
    delete this;
}

bool TLyricWorker::RunOnMainThreadAndWait(std::function<void()> call) {
    struct Handshake {
        bool done = false;
        bool ran = false;
        // Qt's posted-event queue already orders the call after everything this thread did
        // before posting it; the flag makes that order visible to ThreadSanitizer, which does
        // not see the queue's lock (Qt is not built for it).
        std::atomic<bool> posted{false};
    };
    std::shared_ptr<Shared> shared = m_shared;
    auto handshake = std::make_shared<Handshake>();
    handshake->posted.store(true, std::memory_order_release);
    // The queued call may run after this thread stopped waiting (when detached); it then
    // skips `call`, whose captures may be gone, and touches only the shared state.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [shared, handshake, call = std::move(call)] {
            (void)handshake->posted.load(std::memory_order_acquire);
            bool ran = false;
            if (shared->Deliverable()) {
                ran = true;
                try {
                    call();
                } catch (...) {
                }
            }
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                handshake->done = true;
                handshake->ran = ran;
            }
            shared->wake.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->wake.wait(lock, [&] { return handshake->done || shared->detached.load(); });
    return handshake->ran;
}

// ---- TLrcTextThread ----------------------------------------------------------------------

TLrcTextThread::TLrcTextThread(LrcServiceRef service, Request request, QObject *context,
                               FinishedHandler onFinished)
    : TLyricWorker(context), m_service(std::move(service)), m_request(std::move(request)),
      m_onFinished(std::move(onFinished)) {}

TLrcTextThread *TLrcTextThread::Start(LrcServiceRef service, Request request, QObject *context,
                                      FinishedHandler onFinished) {
    auto *worker = new TLrcTextThread(std::move(service), std::move(request), context, std::move(onFinished));
    worker->Begin();
    return worker;
}

void TLrcTextThread::Body() {
    const Request &r = m_request;
    TLyricLookupRequest lookup;
    lookup.Path = r.Path;
    lookup.Song = TSongQuery{r.Title, r.Singer, r.Album, r.DurationMs};
    lookup.LyricDir = r.LyricDir;
    lookup.OnlineAllowed = r.OnlineAllowed;
    m_result = LookupLyric(lookup, m_service.get());
    m_fromOnline = m_result.AskedOnline;
    m_lrcText = m_result.Text;
}

void TLrcTextThread::DeliverFinished() {
    if (m_onFinished)
        m_onFinished(*this);
}

// ---- TLrcListThread ----------------------------------------------------------------------

TLrcListThread::TLrcListThread(LrcServiceRef service, std::string title, std::string singer,
                               std::string extra, QObject *context, RowHandler onRow,
                               FinishedHandler onFinished)
    : TLyricWorker(context), m_service(std::move(service)), m_title(std::move(title)),
      m_singer(std::move(singer)), m_extra(std::move(extra)), m_onRow(std::move(onRow)),
      m_onFinished(std::move(onFinished)) {}

TLrcListThread *TLrcListThread::Start(LrcServiceRef service, std::string title, std::string singer,
                                      std::string extra, QObject *context, RowHandler onRow,
                                      FinishedHandler onFinished) {
    auto *worker = new TLrcListThread(std::move(service), std::move(title), std::move(singer),
                                      std::move(extra), context, std::move(onRow), std::move(onFinished));
    worker->Begin();
    return worker;
}

void TLrcListThread::Body() {
    if (!m_service)
        return;
    // The results are copied while the session is held, so rows never mix with another
    // worker's search and the main thread never has to wait for the session.
    std::vector<TLrcResult> results;
    {
        std::lock_guard<std::mutex> session(m_service->SessionLock());
        m_service->Reset();
        m_service->Search(m_title, m_singer, m_extra, 0);
        m_error = m_service->LastError();
        const int32_t count = m_service->GetCount();
        for (int32_t i = 0; i < count; ++i)
            results.push_back(m_service->GetResult(i).value_or(TLrcResult{}));
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (TerminateRequested())
            break;
        const int row = static_cast<int>(i);
        m_rowIndex = row;
        const TLrcResult &result = results[i];
        bool delivered = RunOnMainThreadAndWait([this, row, &result] {
            if (m_onRow)
                m_onRow(row, result);
        });
        if (!delivered)
            break;
        ++m_rowsAdded;
        if (TerminateRequested())
            break;
    }
}

void TLrcListThread::DeliverFinished() {
    if (m_onFinished)
        m_onFinished(*this);
}

// ---- TGetLrcTextThread -------------------------------------------------------------------

TGetLrcTextThread::TGetLrcTextThread(LrcServiceRef service, int resultIndex, std::optional<int32_t> id,
                                     QObject *context, FinishedHandler onFinished)
    : TLyricWorker(context), m_service(std::move(service)), m_resultIndex(resultIndex), m_id(id),
      m_onFinished(std::move(onFinished)) {}

TGetLrcTextThread *TGetLrcTextThread::Start(LrcServiceRef service, int resultIndex, QObject *context,
                                            FinishedHandler onFinished, std::optional<int32_t> id) {
    auto *worker = new TGetLrcTextThread(std::move(service), resultIndex, id, context, std::move(onFinished));
    worker->Begin();
    return worker;
}

void TGetLrcTextThread::Body() {
    if (!m_service)
        return;
    std::lock_guard<std::mutex> session(m_service->SessionLock());
    std::optional<int32_t> id = m_id;
    if (!id) {
        std::optional<TLrcResult> result = m_service->GetResult(m_resultIndex);
        if (!result)
            return;
        id = result->Id;
    }
    std::string text = m_service->Download(*id);
    std::size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    m_lrcText = std::move(text);
}

void TGetLrcTextThread::DeliverFinished() {
    if (m_onFinished)
        m_onFinished(*this);
}

} // namespace lirvo::lyrics
