#pragma once
// Output straight to a PulseAudio server (PipeWire's too), used in place of SDL's output where
// one answers. SDL's own PulseAudio output asks for a buffer of a single block, and its
// device-list thread crashes when the server is left without any sink; this one asks for a
// 200 ms buffer refilled in 100 ms steps (ten wake-ups a second) and is told the latency of
// every block it writes.
//
// All calls come from one thread at a time (the mixer's device lock); the fill runs on
// libpulse's own thread, under its lock, as the device callback, or under the same lock on the
// thread that calls WriteNow.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace lirvo::audio {

class PulseOutput {
public:
    // Adds `frames` frames of stereo float into `out` (zeroed before); the listener is
    // `latencyFrames` frames behind the end of this block. Returns true when what the stream
    // holds but has not played is stale: the block is then written over it, to be heard next.
    using Fill = std::function<bool(float *out, int64_t frames, int64_t latencyFrames)>;
    // The server or the stream went away (on libpulse's thread: only flag it).
    using Lost = std::function<void()>;

    PulseOutput(Fill fill, Lost lost);
    ~PulseOutput();
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    enum class OpenResult {
        Open,
        NoServer, // none answered within a few seconds
        NoStream, // the server answered but would not take a stream (it has no sink, say)
    };
    // Connects and makes a paused (corked) stream named `streamName`.
    OpenResult Open(const std::string &streamName);
    // Corks or uncorks the stream, and with `dropQueued` empties it of what it holds but has
    // not played; returns at once. An emptied stream's requests for data are answered only
    // when it is uncorked, with what is to be heard then rather than the silence of now.
    void SetCorked(bool corked, bool dropQueued = false);
    // Fills and writes one refill step now, without waiting for the server to ask (a playing
    // stream only): a block that replaces what the stream holds is then heard at once.
    void WriteNow();
    // Names the stream after another track; the server shows the new name at once.
    void Rename(const std::string &streamName);
    bool Failed() const { return failed_.load(); }
    void Close();

private:
    static void OnContextState(pa_context *context, void *self);
    static void OnStreamState(pa_stream *stream, void *self);
    static void OnWrite(pa_stream *stream, size_t bytes, void *self);
    void Write(pa_stream *stream, size_t bytes); // mainloop locked
    bool WaitUntilReady(bool forStream); // mainloop locked
    int64_t LatencyFrames(pa_stream *stream); // in the fill
    void MarkFailed();

    Fill fill_;
    Lost lost_;
    pa_threaded_mainloop *mainloop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    std::atomic<bool> failed_{false};
    std::atomic<bool> timingWanted_{true}; // a cork or uncork asks for a timing report
    // The latency last known, for when libpulse cannot reckon it (before the first timing
    // report, after a write over the queue or a flush); written under the main loop's lock.
    std::atomic<int64_t> latencyFrames_{0};
    std::mutex writeMutex_; // held by Write, under the main loop's lock
    // Emptied and corked: the server's requests wait for the uncork (under the main loop's lock).
    bool holdWrites_ = false;
    // Used by Write only.
    std::chrono::steady_clock::time_point timingAskedAt_{};
};

} // namespace lirvo::audio
