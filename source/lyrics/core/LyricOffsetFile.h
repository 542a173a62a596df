#pragma once
// Keeps a timing shift in the lyric file itself: the "[offset:]" tag is replaced (or added at
// the top) and every other byte stays as it was, in the file's own encoding (UTF-8, GBK or
// UTF-16, with or without BOM) and with its own line ends. Files are replaced atomically.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace lirvo::lyrics {

// The file bytes with the offset tag that counts (the last one holding an integer) set to
// `offsetMs`, or a new "[offset:N]" line put first when there is none. nullopt when the
// change would read back differently (another offset, or other lines), so nothing is written.
std::optional<std::string> SetOffsetTag(std::string_view fileBytes, int32_t offsetMs);

// Reads the file, sets its offset tag and replaces it atomically. False (with the reason in
// `error` when given) when it cannot be read, changed or written; the file is then untouched.
bool WriteLyricOffset(const std::string &path, int32_t offsetMs, std::string *error = nullptr);

// Writes offsets on a thread of its own, so that the GUI thread never waits for the disk.
// Several shifts of one file in quick succession are written once, with the last value.
class TLyricOffsetWriter {
public:
    TLyricOffsetWriter() = default;
    TLyricOffsetWriter(const TLyricOffsetWriter &) = delete;
    TLyricOffsetWriter &operator=(const TLyricOffsetWriter &) = delete;
    // Finishes the writes asked for, then stops.
    ~TLyricOffsetWriter();

    // Asks for `offsetMs` to be written into the file at `path`. Any thread.
    void Write(const std::string &path, int32_t offsetMs);
    // Waits until every write asked for so far is done (for tests and shutdown).
    void WaitIdle();
    // Number of writes that failed so far.
    int Failures() const;

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, int32_t> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    int m_failures = 0;
    std::thread m_thread;
};

} // namespace lirvo::lyrics
