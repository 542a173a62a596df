// Memory a network track holds: a 20-minute MP3 (about 19 MB) streamed from a server on
// 127.0.0.1, downloaded whole, played and sought through. Reports the growth of the resident
// set (peak and after the download) against the file's size; the bytes belong in the spool
// file on disk, not in memory.

#include "audio/lib/AudioLibraryFactory.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace lirvo::audio;
using namespace std::chrono_literals;

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
double StatusMegabytes(const std::string &field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        if (name == field + ":") {
            double kb = 0;
            status >> kb;
            return kb / 1024.0;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0.0;
}

// Starts a new peak measurement (VmHWM) from the current resident set.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::vector<char> MakeSong(const std::filesystem::path &folder) {
    const std::string path = (folder / "long.mp3").string();
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                                "'sine=frequency=440:sample_rate=44100:duration=1200' -ac 2 -b:a 128k '" +
                                path + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("ffmpeg failed");
    }
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_NetworkTrackMemory(benchmark::State &state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string pattern = (std::filesystem::temp_directory_path() / "lirvo-netmem-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::filesystem::path folder = pattern;
    const std::vector<char> song = MakeSong(folder);

    httplib::Server server;
    // Served straight from the song's bytes, so the server itself adds no copy to the process.
    server.Get("/long.mp3", [&song](const httplib::Request &, httplib::Response &response) {
        response.set_content_provider(song.size(), "audio/mpeg",
                                      [&song](size_t offset, size_t length, httplib::DataSink &sink) {
                                          const size_t count = std::min<size_t>(length, 64 * 1024);
                                          return sink.write(song.data() + offset, count);
                                      });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/long.mp3";

    auto library = CreateAudioLibrary();
    library->Init(kDefaultDevice, 44100, 0, 0, nullptr);
    library->SetConfig(kConfigNetPrebuf, 0);
    // One open first, so the one-time set-up of libcurl, FFmpeg's tables and the threads'
    // stacks is not counted as the track's.
    library->StreamFree(library->StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr));
    double peakGrowth = 0;
    double heldGrowth = 0;
    for (auto _ : state) {
        malloc_trim(0);
        const double before = StatusMegabytes("VmRSS");
        ResetPeak();
        const Handle stream = library->StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr);
        if (stream == 0) {
            state.SkipWithError("the stream did not open");
            break;
        }
        library->ChannelPlay(stream, false);
        while (library->StreamGetFilePosition(stream, kFilePosDownload) < song.size()) {
            std::this_thread::sleep_for(10ms);
        }
        // Seeks across the whole file read the bytes back from where they are kept.
        for (double seconds : {1100.0, 600.0, 30.0, 900.0}) {
            library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, seconds), kPosByte);
            std::this_thread::sleep_for(100ms);
        }
        heldGrowth = StatusMegabytes("VmRSS") - before;
        peakGrowth = StatusMegabytes("VmHWM") - before;
        library->StreamFree(stream);
    }
    state.counters["file_MB"] = static_cast<double>(song.size()) / (1024.0 * 1024.0);
    state.counters["rss_growth_MB"] = heldGrowth;
    state.counters["peak_growth_MB"] = peakGrowth;
    library->Free();
    server.stop();
    serving.join();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_NetworkTrackMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
