// A small stand-in for libFuzzer's main, used when the compiler has no libFuzzer.
// Usage: target [--seconds N] [--runs N] CORPUS_DIR_OR_FILE...
// Every seed is run as it stands, then random mutations of the seeds (bit flips, byte
// changes, insertions, deletions, splices, truncations) are run until the time is up.
// A crash or sanitizer report ends the process, which is how the fault is reported.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void runOne(const Bytes &input) {
    // Copy into an exactly sized heap block so that ASan sees reads past the end.
    auto *copy = static_cast<uint8_t *>(std::malloc(input.empty() ? 1 : input.size()));
    if (!input.empty())
        std::memcpy(copy, input.data(), input.size());
    LLVMFuzzerTestOneInput(copy, input.size());
    std::free(copy);
}

Bytes mutate(const std::vector<Bytes> &seeds, std::mt19937_64 &rng) {
    std::uniform_int_distribution<size_t> pickSeed(0, seeds.size() - 1);
    Bytes out = seeds[pickSeed(rng)];
    static const uint8_t interesting[] = {0, 1, 0x7f, 0x80, 0xff, '[', ']', ':', '.', '<', '>', '&',
                                          '"', '=', '/', '%', '\n', '\r', '|', ','};
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < steps; ++s) {
        const size_t pos = out.empty() ? 0 : rng() % out.size();
        switch (rng() % 8) {
        case 0:
            if (!out.empty())
                out[pos] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1:
            if (!out.empty())
                out[pos] = static_cast<uint8_t>(rng());
            break;
        case 2:
            out.insert(out.begin() + static_cast<long>(pos), interesting[rng() % sizeof interesting]);
            break;
        case 3:
            if (!out.empty())
                out.erase(out.begin() + static_cast<long>(pos));
            break;
        case 4: {
            const Bytes &other = seeds[pickSeed(rng)];
            if (!other.empty()) {
                const size_t from = rng() % other.size();
                const size_t len = 1 + rng() % (other.size() - from);
                out.insert(out.begin() + static_cast<long>(pos), other.begin() + static_cast<long>(from),
                           other.begin() + static_cast<long>(from + len));
            }
            break;
        }
        case 5:
            if (!out.empty())
                out.resize(pos);
            break;
        case 6:
            if (!out.empty()) { // duplicate a slice, to grow repetitive structures
                const size_t len = 1 + rng() % std::min<size_t>(64, out.size() - pos);
                Bytes slice(out.begin() + static_cast<long>(pos), out.begin() + static_cast<long>(pos + len));
                out.insert(out.begin() + static_cast<long>(pos), slice.begin(), slice.end());
            }
            break;
        default:
            if (!out.empty())
                out[pos] = interesting[rng() % sizeof interesting];
            break;
        }
        if (out.size() > (1u << 20))
            out.resize(1u << 20);
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    double seconds = 5;
    long long maxRuns = -1;
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            maxRuns = std::atoll(argv[++i]);
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    seeds.push_back(readFile(entry.path()));
        } else if (std::filesystem::is_regular_file(arg)) {
            seeds.push_back(readFile(arg));
        } else {
            std::fprintf(stderr, "fuzz driver: no such corpus: %s\n", arg.c_str());
            return 2;
        }
    }
    if (seeds.empty())
        seeds.emplace_back();
    for (const Bytes &seed : seeds)
        runOne(seed);

    std::mt19937_64 rng(0x4c697276u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long long runs = 0;
    while ((maxRuns < 0 || runs < maxRuns) && std::chrono::steady_clock::now() < deadline) {
        runOne(mutate(seeds, rng));
        ++runs;
    }
    std::printf("fuzz driver: %zu seeds, %lld mutated runs, no fault\n", seeds.size(), runs);
    return 0;
}
