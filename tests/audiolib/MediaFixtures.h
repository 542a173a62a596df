#pragma once
// Test media made at test time with ffmpeg/sox/lame in a private temporary folder.

#include "audio/lib/ByteReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

// A stereo WAV that tells which of its frames is heard: the left side is a sawtooth over
// kCounterPeriod frames, the right a staircase one step per period (about 11.9 s in all). It
// passes bit for bit through 16-bit samples, a sound server's sink among them.
inline constexpr int64_t kCounterPeriod = 4096;
inline constexpr int64_t kCounterSteps = 128;
inline bool MakeCounter(const std::string &path, double seconds) {
    return RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc='0.9*(2*mod(n,4096)/4096-1)|"
                      "0.9*(2*(floor(n/4096)+0.5)/128-1)':s=44100:c=stereo:d=" +
                      std::to_string(seconds) + "\" '" + path + "'");
}
// The frame of the counter signal that a stereo frame is.
inline int64_t CounterFrame(float left, float right) {
    const int64_t step = std::lround((right / 0.9 + 1) / 2 * kCounterSteps - 0.5);
    const int64_t phase = std::lround((left / 0.9 + 1) / 2 * kCounterPeriod);
    return step * kCounterPeriod + phase;
}

inline std::vector<uint8_t> ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadAllText(const std::string &path) {
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

// A file reader that counts every byte handed out: how much of a file a seek reads.
class TallyReader final : public ByteReader {
public:
    TallyReader(std::unique_ptr<ByteReader> inner, int64_t &tally) : inner_(std::move(inner)), tally_(tally) {}
    int64_t Read(uint8_t *buffer, int64_t size) override {
        const int64_t got = inner_->Read(buffer, size);
        tally_ += std::max<int64_t>(got, 0);
        return got;
    }
    bool Seek(int64_t offset) override { return inner_->Seek(offset); }
    int64_t Tell() const override { return inner_->Tell(); }
    int64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<ByteReader> inner_;
    int64_t &tally_;
};

} // namespace lirvo::audio::testing
