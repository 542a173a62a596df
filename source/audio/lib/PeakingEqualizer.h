#pragma once
// Parametric equalizer bands as peaking biquad filters (centre in Hz, bandwidth in semitones,
// gain in dB), run in series on the output format.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

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
class EffectChain {
public:
    void Add(uint32_t handle, int priority, const PeakingParameters &parameters);
    bool Remove(uint32_t handle);
    bool Set(uint32_t handle, const PeakingParameters &parameters);
    bool Get(uint32_t handle, PeakingParameters &parameters) const;
    void Process(float *interleaved, int64_t frames);
    void Reset();

private:
    struct Band {
        uint32_t handle;
        int priority;
        PeakingFilter filter;
    };
    mutable std::mutex mutex_;
    std::vector<Band> bands_;
    std::vector<PeakingFilter *> active_; // scratch list of the bands that change the signal
    bool ramping_ = false;                // some active band is still moving its gain
    void CollectActive();
};

} // namespace lirvo::audio
