#include "lyrics/services/NoLyricMemory.h"

#include "lyrics/services/MatchText.h"
#include "storage/AtomicFile.h"

#include <charconv>
#include <ctime>
#include <fstream>
#include <iterator>

namespace lirvo::lyrics::services {

namespace {

// More songs than anyone's library lacks lyrics for; past it the oldest are forgotten first.
constexpr std::size_t kMaxEntries = 20000;
constexpr std::size_t kMaxFileBytes = 8 * 1024 * 1024;

std::string WithoutTabs(std::string text) {
    for (char &c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

TNoLyricMemory::TNoLyricMemory(std::string path) : m_path(std::move(path)) {}

int64_t TNoLyricMemory::Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

std::string TNoLyricMemory::KeyOf(const std::string &title, const std::string &artist) {
    return WithoutTabs(NormalizeForMatch(title)) + "\t" + WithoutTabs(NormalizeForMatch(artist));
}

void TNoLyricMemory::LoadOnce() {
    if (m_loaded)
        return;
    m_loaded = true;
    if (m_path.empty())
        return;
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
        return;
    std::string text;
    text.resize(kMaxFileBytes);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || line.find('\t', tab + 1) == std::string_view::npos)
            continue;
        int64_t when = 0;
        auto [ptr, ec] = std::from_chars(line.data(), line.data() + tab, when);
        if (ec != std::errc() || ptr != line.data() + tab)
            continue;
        m_entries[std::string(line.substr(tab + 1))] = when;
    }
}

void TNoLyricMemory::Save(int64_t now) {
    if (m_path.empty())
        return;
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = now - it->second >= kKeepSeconds ? m_entries.erase(it) : std::next(it);
    while (m_entries.size() > kMaxEntries) {
        auto oldest = m_entries.begin();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
            if (it->second < oldest->second)
                oldest = it;
        m_entries.erase(oldest);
    }
    std::string text;
    for (const auto &[key, when] : m_entries)
        text += std::to_string(when) + "\t" + key + "\n";
    storage::WriteFileAtomically(m_path, text);
}

bool TNoLyricMemory::Remembers(const std::string &title, const std::string &artist, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    LoadOnce();
    auto it = m_entries.find(KeyOf(title, artist));
    return it != m_entries.end() && now - it->second < kKeepSeconds && now >= it->second;
}

void TNoLyricMemory::Remember(const std::string &title, const std::string &artist, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    LoadOnce();
    m_entries[KeyOf(title, artist)] = now;
    Save(now);
}

void TNoLyricMemory::Forget(const std::string &title, const std::string &artist) {
    std::lock_guard<std::mutex> lock(m_mutex);
    LoadOnce();
    if (m_entries.erase(KeyOf(title, artist)) > 0)
        Save(Now());
}

} // namespace lirvo::lyrics::services
