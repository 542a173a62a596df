#include "audio/lib/PulseOutput.h"

#include "audio/lib/DecodedSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace lirvo::audio {

namespace {

constexpr pa_usec_t kBufferUsec = 200 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRefillUsec = 100 * PA_USEC_PER_MSEC;
// How often the server is asked for its timing while the stream plays.
constexpr std::chrono::seconds kTimingReportInterval{1};
// A server that takes longer than this to answer is treated as none.
constexpr pa_usec_t kAnswerLimitUsec = 3 * PA_USEC_PER_SEC;

pa_sample_spec OutputFormat() {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_FLOAT32NE;
    format.rate = kOutputRate;
    format.channels = static_cast<uint8_t>(kOutputChannels);
    return format;
}

struct WaitState {
    pa_threaded_mainloop *mainloop = nullptr;
    bool timedOut = false;
};

void OnAnswerLimit(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *user) {
    auto *wait = static_cast<WaitState *>(user);
    wait->timedOut = true;
    pa_threaded_mainloop_signal(wait->mainloop, 0);
}

} // namespace

PulseOutput::PulseOutput(Fill fill, Lost lost) : fill_(std::move(fill)), lost_(std::move(lost)) {}

PulseOutput::~PulseOutput() {
    Close();
}

void PulseOutput::MarkFailed() {
    if (!failed_.exchange(true) && lost_) {
        lost_();
    }
    pa_threaded_mainloop_signal(mainloop_, 0);
}

void PulseOutput::OnContextState(pa_context *context, void *self) {
    auto *output = static_cast<PulseOutput *>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        output->MarkFailed();
    } else {
        pa_threaded_mainloop_signal(output->mainloop_, 0);
    }
}

void PulseOutput::OnStreamState(pa_stream *stream, void *self) {
    auto *output = static_cast<PulseOutput *>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        output->MarkFailed(); // the server ended it, e.g. its last sink went away
    } else {
        pa_threaded_mainloop_signal(output->mainloop_, 0);
    }
}

int64_t PulseOutput::LatencyFrames(pa_stream *stream) {
    // libpulse reckons the latency from what it wrote and the server's last timing report,
    // moved on by the clock. A report is asked for once a second (and after a cork), not after
    // every write as its automatic updates do: that would double the wake-ups of this thread.
    const auto now = std::chrono::steady_clock::now();
    pa_usec_t latency = 0;
    int negative = 0;
    const bool known = pa_stream_get_latency(stream, &latency, &negative) == 0;
    if (!known || timingWanted_.exchange(false) || now - timingAskedAt_ >= kTimingReportInterval) {
        if (pa_operation *operation = pa_stream_update_timing_info(stream, nullptr, nullptr)) {
            pa_operation_unref(operation);
        }
        timingAskedAt_ = now;
    }
    if (known) {
        // Until the first report the last latency known stands (none yet: the block is next).
        latencyFrames_.store(negative != 0 ? 0 : static_cast<int64_t>(latency * kOutputRate / PA_USEC_PER_SEC),
                             std::memory_order_relaxed);
    }
    return latencyFrames_.load(std::memory_order_relaxed);
}

void PulseOutput::OnWrite(pa_stream *stream, size_t bytes, void *self) {
    static_cast<PulseOutput *>(self)->Write(stream, bytes);
}

void PulseOutput::Write(pa_stream *stream, size_t bytes) {
    // Both callers (libpulse's thread, WriteNow on another) hold the main loop's lock already,
    // so this lock is never waited for; it shows ThreadSanitizer, which cannot see libpulse's
    // lock, that the fills never overlap.
    std::lock_guard<std::mutex> visible(writeMutex_);
    if (holdWrites_) {
        // Answered at the uncork: silence written now would be heard before the next sound.
        return;
    }
    // A request answered in several chunks: each later chunk is heard after the ones before it
    // (libpulse cannot reckon that while it has no timing for an emptied stream).
    int64_t aheadOfNext = -1;
    while (bytes > 0) {
        void *data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(stream, &data, &size) < 0 || data == nullptr) {
            return;
        }
        size -= size % static_cast<size_t>(kBytesPerFrame);
        if (size == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        std::memset(data, 0, size);
        const auto frames = static_cast<int64_t>(size) / kBytesPerFrame;
        // What is written already is heard `latency` from now; this block comes after it.
        const int64_t ahead = aheadOfNext < 0 ? LatencyFrames(stream) : aheadOfNext;
        const bool replace = fill_(static_cast<float *>(data), frames, ahead + frames);
        // A block that replaces the queue is written where the server reads, over what it
        // held; the server rewinds its sink to it. libpulse then reckons no latency until its
        // next report, and this block is what is queued meanwhile.
        if (pa_stream_write(stream, data, size, nullptr, 0, replace ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE) <
            0) {
            return;
        }
        if (replace) {
            latencyFrames_.store(frames, std::memory_order_relaxed);
            timingWanted_ = true;
        }
        aheadOfNext = (replace ? 0 : ahead) + frames;
        bytes -= std::min(bytes, size);
    }
}

bool PulseOutput::WaitUntilReady(bool forStream) {
    WaitState wait{mainloop_, false};
    pa_time_event *limit =
        pa_context_rttime_new(context_, pa_rtclock_now() + kAnswerLimitUsec, &OnAnswerLimit, &wait);
    // Ready, or still on its way there, for the context or the stream being waited for.
    auto ready = [&] {
        return forStream ? pa_stream_get_state(stream_) == PA_STREAM_READY
                         : pa_context_get_state(context_) == PA_CONTEXT_READY;
    };
    auto underWay = [&] {
        return forStream ? PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))
                         : PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
    };
    while (!wait.timedOut && !failed_.load() && !ready() && underWay()) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    if (limit != nullptr) {
        pa_threaded_mainloop_get_api(mainloop_)->time_free(limit);
    }
    return ready();
}

PulseOutput::OpenResult PulseOutput::Open(const std::string &streamName) {
    Close();
    failed_ = false;
    holdWrites_ = false;
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_ == nullptr) {
        return OpenResult::NoServer;
    }
    // The role and other PULSE_PROP_* settings of the environment are added by libpulse.
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Lirvo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "lirvo");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "lirvo");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_), "Lirvo", properties);
    pa_proplist_free(properties);
    if (context_ == nullptr) {
        Close();
        return OpenResult::NoServer;
    }
    pa_context_set_state_callback(context_, &OnContextState, this);
    pa_threaded_mainloop_lock(mainloop_);
    bool ready = pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                 pa_threaded_mainloop_start(mainloop_) >= 0 && WaitUntilReady(false);
    const bool answered = ready;
    const pa_sample_spec format = OutputFormat();
    if (ready) {
        const char *name = streamName.empty() ? "Lirvo" : streamName.c_str();
        pa_channel_map map{};
        pa_channel_map_init_stereo(&map);
        pa_proplist *streamProperties = pa_proplist_new();
        pa_proplist_sets(streamProperties, PA_PROP_MEDIA_NAME, name);
        stream_ = pa_stream_new_with_proplist(context_, name, &format, &map, streamProperties);
        pa_proplist_free(streamProperties);
        ready = stream_ != nullptr;
    }
    if (ready) {
        pa_stream_set_state_callback(stream_, &OnStreamState, this);
        pa_stream_set_write_callback(stream_, &OnWrite, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kBufferUsec, &format));
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(kRefillUsec, &format));
        attr.fragsize = static_cast<uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_START_CORKED);
        ready = pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) >= 0 &&
                WaitUntilReady(true);
    }
    pa_threaded_mainloop_unlock(mainloop_);
    if (!ready) {
        Close();
        return answered ? OpenResult::NoStream : OpenResult::NoServer;
    }
    return OpenResult::Open;
}

void PulseOutput::SetCorked(bool corked, bool dropQueued) {
    if (mainloop_ == nullptr || stream_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_operation *operation = pa_stream_cork(stream_, corked ? 1 : 0, nullptr, nullptr)) {
        pa_operation_unref(operation);
    }
    if (!corked && holdWrites_) {
        // The requests held since the stream was emptied are answered now: the emptied stream
        // waits for a full buffer before it plays, so it starts with the sound to be heard.
        holdWrites_ = false;
        if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
            const size_t wanted = pa_stream_writable_size(stream_);
            if (wanted != static_cast<size_t>(-1) && wanted > 0) {
                Write(stream_, wanted);
            }
        }
    }
    if (dropQueued) {
        // Emptied, the stream waits for a full buffer again before it plays.
        if (pa_operation *operation = pa_stream_flush(stream_, nullptr, nullptr)) {
            pa_operation_unref(operation);
        }
        latencyFrames_.store(0, std::memory_order_relaxed);
        holdWrites_ = corked;
    }
    // The clock libpulse reckons with starts or stops here; the next write asks the server.
    timingWanted_ = true;
    pa_threaded_mainloop_unlock(mainloop_);
}

void PulseOutput::WriteNow() {
    if (mainloop_ == nullptr || stream_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_stream_get_state(stream_) == PA_STREAM_READY && pa_stream_is_corked(stream_) == 0) {
        const pa_sample_spec format = OutputFormat();
        Write(stream_, pa_usec_to_bytes(kRefillUsec, &format));
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

void PulseOutput::Rename(const std::string &streamName) {
    if (mainloop_ == nullptr || stream_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) {
        // Sets the media name too.
        if (pa_operation *operation =
                pa_stream_set_name(stream_, streamName.empty() ? "Lirvo" : streamName.c_str(), nullptr, nullptr)) {
            pa_operation_unref(operation);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

void PulseOutput::Close() {
    if (mainloop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (stream_ != nullptr) {
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
}

} // namespace lirvo::audio
