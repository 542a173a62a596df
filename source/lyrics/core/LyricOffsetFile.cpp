#include "lyrics/core/LyricOffsetFile.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/uLRCHandle.h"
#include "storage/AtomicFile.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <vector>

namespace lirvo::lyrics {

namespace {

enum class Encoding { Bytes, Gbk, Utf16LE, Utf16BE };

// One character position of the file: its value when it is ASCII (else kWide) and its bytes.
constexpr uint32_t kWide = 0x100;
struct Unit {
    uint32_t value;
    std::size_t start;
    std::size_t length;
};

struct Layout {
    Encoding encoding = Encoding::Bytes;
    std::size_t bodyStart = 0; // after a BOM
    std::vector<Unit> units;
};

// Splits the file into characters the way the reader decodes it, so that a GBK trail byte
// that happens to be "[" or "]" is never taken for one.
Layout Analyse(std::string_view bytes) {
    Layout layout;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        layout.bodyStart = 3;
    } else if (bytes.starts_with("\xFF\xFE")) {
        layout.encoding = Encoding::Utf16LE;
        layout.bodyStart = 2;
    } else if (bytes.starts_with("\xFE\xFF")) {
        layout.encoding = Encoding::Utf16BE;
        layout.bodyStart = 2;
    } else if (!text::IsValidUtf8(bytes)) {
        layout.encoding = Encoding::Gbk;
    }
    const std::size_t n = bytes.size();
    layout.units.reserve(n - layout.bodyStart);
    for (std::size_t i = layout.bodyStart; i < n;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (layout.encoding == Encoding::Utf16LE || layout.encoding == Encoding::Utf16BE) {
            if (i + 1 >= n) {
                layout.units.push_back({kWide, i, 1});
                break;
            }
            const auto lo = static_cast<unsigned char>(bytes[layout.encoding == Encoding::Utf16LE ? i : i + 1]);
            const auto hi = static_cast<unsigned char>(bytes[layout.encoding == Encoding::Utf16LE ? i + 1 : i]);
            layout.units.push_back({hi == 0 && lo < 0x80 ? lo : kWide, i, 2});
            i += 2;
        } else if (layout.encoding == Encoding::Gbk && b >= 0x81 && b <= 0xFE && i + 1 < n) {
            layout.units.push_back({kWide, i, 2});
            i += 2;
        } else {
            layout.units.push_back({b < 0x80 ? b : kWide, i, 1});
            ++i;
        }
    }
    return layout;
}

std::string Encode(std::string_view ascii, Encoding encoding) {
    if (encoding != Encoding::Utf16LE && encoding != Encoding::Utf16BE)
        return std::string(ascii);
    std::string out;
    for (char c : ascii) {
        if (encoding == Encoding::Utf16LE) {
            out.push_back(c);
            out.push_back('\0');
        } else {
            out.push_back('\0');
            out.push_back(c);
        }
    }
    return out;
}

bool IsLowerAscii(uint32_t value, char lower) {
    return value == static_cast<uint32_t>(lower) || value == static_cast<uint32_t>(lower - 'a' + 'A');
}

// Units [first, last) of the value of the offset tag that counts, if any.
std::optional<std::pair<std::size_t, std::size_t>> FindOffsetValue(const std::vector<Unit> &units) {
    static constexpr std::string_view kKey = "offset";
    std::optional<std::pair<std::size_t, std::size_t>> found;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i].value != '[' || i + 1 + kKey.size() > units.size())
            continue;
        std::size_t k = i + 1;
        bool key = true;
        for (char c : kKey)
            key = key && IsLowerAscii(units[k++].value, c);
        if (!key)
            continue;
        // Blanks (and other non-printing characters) may stand between key and colon.
        while (k < units.size() && (units[k].value <= 0x20 || units[k].value >= 0x7F))
            ++k;
        if (k >= units.size() || units[k].value != ':')
            continue;
        const std::size_t first = ++k;
        std::string value;
        while (k < units.size() && units[k].value != ']' && units[k].value != '\r' && units[k].value != '\n') {
            value.push_back(units[k].value < 0x80 ? static_cast<char>(units[k].value) : 'x');
            ++k;
        }
        if (text::ParseInt32(text::TrimBlank(value)))
            found = std::make_pair(first, k);
    }
    return found;
}

std::string LineEndOf(const std::vector<Unit> &units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i].value == '\n')
            return "\n";
        if (units[i].value == '\r')
            return i + 1 < units.size() && units[i + 1].value == '\n' ? "\r\n" : "\r";
    }
    return "\r\n";
}

TLyricHandle Parsed(std::string_view bytes) {
    TLyricHandle handle;
    handle.Parse(JoinLyricLines(DecodeLyricBytes(bytes)));
    return handle;
}

} // namespace

std::optional<std::string> SetOffsetTag(std::string_view fileBytes, int32_t offsetMs) {
    const Layout layout = Analyse(fileBytes);
    const std::string value = std::to_string(offsetMs);
    std::string out;
    if (auto range = FindOffsetValue(layout.units)) {
        const auto &[first, last] = *range;
        const std::size_t from = first < layout.units.size() ? layout.units[first].start : fileBytes.size();
        const std::size_t to = last < layout.units.size() ? layout.units[last].start : fileBytes.size();
        out.reserve(fileBytes.size() + value.size() * 2);
        out.append(fileBytes.substr(0, from));
        out += Encode(value, layout.encoding);
        out.append(fileBytes.substr(to));
    } else {
        out.append(fileBytes.substr(0, layout.bodyStart));
        out += Encode("[offset:" + value + "]" + LineEndOf(layout.units), layout.encoding);
        out.append(fileBytes.substr(layout.bodyStart));
    }
    // The change must read back as exactly this offset with the same lines.
    const TLyricHandle before = Parsed(fileBytes), after = Parsed(out);
    if (after.Info().Offset != offsetMs || after.Items() != before.Items())
        return std::nullopt;
    return out;
}

bool WriteLyricOffset(const std::string &path, int32_t offsetMs, std::string *error) {
    std::optional<std::string> bytes = ReadLyricFileBytes(path);
    if (!bytes) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::optional<std::string> changed = SetOffsetTag(*bytes, offsetMs);
    if (!changed) {
        if (error)
            *error = "the offset tag of " + path + " cannot be set without changing its lines";
        return false;
    }
    if (*changed == *bytes)
        return true;
    return storage::WriteFileAtomically(path, *changed, error);
}

TLyricOffsetWriter::~TLyricOffsetWriter() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TLyricOffsetWriter::Write(const std::string &path, int32_t offsetMs) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending[path] = offsetMs;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_all();
}

void TLyricOffsetWriter::WaitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return m_pending.empty() && !m_busy; });
}

int TLyricOffsetWriter::Failures() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

void TLyricOffsetWriter::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_pending.empty(); });
        if (m_pending.empty())
            return; // stopping with nothing left to write
        auto next = m_pending.begin();
        const std::string path = next->first;
        const int32_t offset = next->second;
        m_pending.erase(next);
        m_busy = true;
        lock.unlock();
        bool ok = false;
        try {
            ok = WriteLyricOffset(path, offset);
        } catch (...) {
        }
        lock.lock();
        m_busy = false;
        if (!ok)
            ++m_failures;
        m_wake.notify_all();
    }
}

} // namespace lirvo::lyrics
