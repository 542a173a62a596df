#pragma once
// Test media made at test time with ffmpeg/sox/lame in a private temporary folder.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lirvo::audio::testing {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lirvo-audiolib-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs a shell command quietly; true when it exited with 0.
inline bool RunQuietly(const std::string &command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A sine tone through ffmpeg's lavfi source; the encoder follows from the file name.
inline bool MakeTone(const std::string &path, double seconds, double hz, const std::string &extra = "") {
    return RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=" + std::to_string(hz) +
                      ":sample_rate=44100:duration=" + std::to_string(seconds) + "\" -ac 2 " + extra + " '" +
                      path + "'");
}

inline std::vector<uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline double Rms(const float *samples, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

inline double Decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

} // namespace lirvo::audio::testing
