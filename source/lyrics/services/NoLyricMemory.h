#pragma once
// Songs that no lyric service had, remembered on disk for a week so that the automatic lookup
// does not ask the services again at every play. One line per song: the time it was
// remembered (seconds since 1970), its title and its artist in the matching form, separated by
// tabs. The file is replaced atomically; a missing or damaged file remembers nothing.

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace lirvo::lyrics::services {

class TNoLyricMemory {
public:
    static constexpr int64_t kKeepSeconds = 7 * 24 * 3600;

    explicit TNoLyricMemory(std::string path);

    // True when the song was remembered less than a week before `now` (seconds since 1970).
    bool Remembers(const std::string &title, const std::string &artist, int64_t now);
    void Remember(const std::string &title, const std::string &artist, int64_t now);
    void Forget(const std::string &title, const std::string &artist);

    static int64_t Now();

private:
    static std::string KeyOf(const std::string &title, const std::string &artist);
    void LoadOnce();
    void Save(int64_t now);

    std::string m_path;
    std::mutex m_mutex;
    bool m_loaded = false;
    std::unordered_map<std::string, int64_t> m_entries; // key -> when remembered
};

} // namespace lirvo::lyrics::services
