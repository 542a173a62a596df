#pragma once
// Parametric equalizer bands as peaking biquad filters (centre in Hz, bandwidth in semitones,
// gain in dB), run in series on the output format.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace lirvo::audio {

struct PeakingParameters {
    float centre = 1000.0f;  // Hz
    float bandwidth = 12.0f; // semitones
    float gain = 0.0f;       // dB
};

inline constexpr float kMaxEqGainDb = 15.0f;

// Checks and normalises parameters: the gain is limited to +/-15 dB; a centre outside
// (0, Nyquist) or a bandwidth outside 1..36 semitones, or any non-finite value, is refused.
bool NormaliseParameters(PeakingParameters &parameters);

// Frames over which a gain change is spread (about 20 ms), and the step in which the
// coefficients follow it.
inline constexpr int64_t kGainRampFrames = 882;
inline constexpr int64_t kGainRampStepFrames = 32;

class PeakingFilter {
public:
    explicit PeakingFilter(const PeakingParameters &parameters = {});
    // Takes parameters that passed NormaliseParameters. The gain moves to the new value over
    // kGainRampFrames of processed signal and the filter state is kept, so a change while
    // playing (to 0 dB included) does not click. Centre and bandwidth apply at once.
    void SetParameters(const PeakingParameters &parameters);
    // The parameters last set (the gain is the target of a ramp still under way).
    const PeakingParameters &Parameters() const { return parameters_; }
    // Filters interleaved stereo frames in place, ramping the gain where one is under way.
    void Process(float *interleaved, int64_t frames);
    // Runs several filters in series, frame by frame: the bands' recurrences overlap in the
    // processor instead of each waiting on its own previous sample, which makes a ten-band
    // cascade several times faster than band after band.
    static void ProcessCascade(PeakingFilter *const *filters, size_t count, float *interleaved,
                               int64_t frames);
    void Reset();
    // True when the filter passes the signal unchanged and may be skipped: at 0 dB with no
    // ramp under way and its state died away (skipping earlier would cut off the decaying
    // state, a small step in the output).
    bool IsIdentity() const;
    bool IsRamping() const { return currentGain_ != parameters_.gain; }
    // Moves the gain `frames` frames further along its ramp.
    void AdvanceRamp(int64_t frames);

private:
    void UpdateCoefficients();

    PeakingParameters parameters_;
    double currentGain_ = 0.0; // dB, follows parameters_.gain
    double rampPerFrame_ = 0.0;
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double z1_[2] = {0, 0};
    double z2_[2] = {0, 0};
};

// The effects of one channel, applied in order of priority (higher first), then of creation.
// Bands are added and changed from any thread; Process runs on the output's mixing (one thread
// at a time), which must never wait on them. So each band's settings are published in a slot of
// its own, versioned so that a half-written slot is never taken, and Process takes up what has
// changed at the start of each block, without a lock and without allocating.
class EffectChain {
public:
    static constexpr size_t kMaxBands = 64;

    // False when the chain holds kMaxBands bands already.
    bool Add(uint32_t handle, int priority, const PeakingParameters &parameters);
    bool Remove(uint32_t handle);
    bool Set(uint32_t handle, const PeakingParameters &parameters);
    // The parameters last set (the gain is the target of a ramp that may still be under way).
    bool Get(uint32_t handle, PeakingParameters &parameters) const;
    // The next block processed starts from silent filter state (after a seek, the signal does
    // not go on from what came before). Any thread.
    void Reset();
    // Filters interleaved stereo frames in place through every band. One thread at a time.
    void Process(float *interleaved, int64_t frames);

private:
    // What the changing side publishes for one band: written under changeMutex_, read by
    // Process. The version is odd while a write is under way.
    struct Slot {
        std::atomic<uint32_t> version{0};
        std::atomic<uint64_t> band{0}; // the band's creation number; 0: the slot is free
        std::atomic<int> priority{0};
        std::atomic<float> centre{0.0f};
        std::atomic<float> bandwidth{0.0f};
        std::atomic<float> gain{0.0f};
    };
    // The changing side's own record of a slot (changeMutex_).
    struct Entry {
        uint32_t handle = 0;
        uint64_t band = 0;
        int priority = 0;
        PeakingParameters parameters;
    };
    // What Process runs for a slot (processing side only).
    struct Live {
        uint64_t band = 0;
        uint32_t version = 0;
        int priority = 0;
        PeakingFilter filter;
    };

    // The slot of the band `handle`, kMaxBands when there is none (changeMutex_ held).
    size_t SlotOf(uint32_t handle) const;
    void Publish(size_t slot, const Entry &entry); // changeMutex_ held
    void TakeChanges();
    void SortBands();
    void CollectActive();

    mutable std::mutex changeMutex_;
    std::array<Entry, kMaxBands> entries_{};
    uint64_t bandsMade_ = 0;
    std::array<Slot, kMaxBands> slots_;
    std::atomic<uint32_t> changes_{0}; // bumped after each publication
    std::atomic<uint32_t> resets_{0};

    std::array<Live, kMaxBands> live_;
    std::array<uint8_t, kMaxBands> order_{}; // live slots in the order they run
    size_t bandCount_ = 0;
    uint32_t changesTaken_ = 0;
    uint32_t resetsTaken_ = 0;
    std::array<PeakingFilter *, kMaxBands> active_{}; // the bands that change the signal
    size_t activeCount_ = 0;
    bool ramping_ = false; // some active band is still moving its gain
};

} // namespace lirvo::audio
