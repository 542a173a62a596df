#include "audio/lib/PeakingEqualizer.h"

#include "audio/lib/DecodedSource.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lirvo::audio {

bool NormaliseParameters(PeakingParameters &p) {
    if (!std::isfinite(p.centre) || !std::isfinite(p.bandwidth) || !std::isfinite(p.gain)) {
        return false;
    }
    if (p.centre <= 0.0f || p.centre >= kOutputRate / 2.0f || p.bandwidth < 1.0f || p.bandwidth > 36.0f) {
        return false;
    }
    p.gain = std::clamp(p.gain, -kMaxEqGainDb, kMaxEqGainDb);
    return true;
}

PeakingFilter::PeakingFilter(const PeakingParameters &parameters) {
    parameters_ = parameters;
    currentGain_ = parameters.gain; // a new filter starts at its gain, nothing to ramp from
    UpdateCoefficients();
}

void PeakingFilter::SetParameters(const PeakingParameters &p) {
    parameters_ = p;
    rampPerFrame_ = (static_cast<double>(p.gain) - currentGain_) / static_cast<double>(kGainRampFrames);
    UpdateCoefficients();
}

void PeakingFilter::AdvanceRamp(int64_t frames) {
    if (!IsRamping()) {
        return;
    }
    const double target = parameters_.gain;
    const double next = currentGain_ + rampPerFrame_ * static_cast<double>(frames);
    const bool passed = rampPerFrame_ > 0 ? next >= target : next <= target;
    currentGain_ = passed || rampPerFrame_ == 0.0 ? target : next;
    UpdateCoefficients();
}

bool PeakingFilter::IsIdentity() const {
    constexpr double kQuiet = 1e-7; // about -140 dB
    return parameters_.gain == 0.0f && !IsRamping() && std::fabs(z1_[0]) < kQuiet && std::fabs(z1_[1]) < kQuiet &&
           std::fabs(z2_[0]) < kQuiet && std::fabs(z2_[1]) < kQuiet;
}

void PeakingFilter::UpdateCoefficients() {
    const PeakingParameters &p = parameters_;
    // Peaking filter of the audio EQ cookbook, bandwidth given in octaves (semitones / 12).
    const double a = std::pow(10.0, currentGain_ / 40.0);
    const double w0 = 2.0 * std::numbers::pi * p.centre / kOutputRate;
    const double octaves = p.bandwidth / 12.0;
    const double sinW0 = std::sin(w0);
    const double alpha = sinW0 * std::sinh(std::numbers::ln2 / 2.0 * octaves * w0 / sinW0);
    const double a0 = 1.0 + alpha / a;
    b0_ = (1.0 + alpha * a) / a0;
    b1_ = -2.0 * std::cos(w0) / a0;
    b2_ = (1.0 - alpha * a) / a0;
    a1_ = b1_;
    a2_ = (1.0 - alpha / a) / a0;
}

void PeakingFilter::Reset() {
    z1_[0] = z1_[1] = z2_[0] = z2_[1] = 0.0;
}

void PeakingFilter::Process(float *x, int64_t frames) {
    while (frames > 0) {
        const int64_t n = IsRamping() ? std::min(frames, kGainRampStepFrames) : frames;
        AdvanceRamp(n);
        PeakingFilter *self = this;
        ProcessCascade(&self, 1, x, n);
        x += n * 2;
        frames -= n;
    }
}

namespace {

// Left and right travel together in one two-lane vector.
typedef double Pair __attribute__((vector_size(16)));

struct Coefficients {
    Pair b0, b1, b2, a2; // a peaking filter has a1 == b1
};

// N bands in series with their state held in registers (N is small enough for that).
template <size_t N>
void CascadeInRegisters(const Coefficients *c, Pair *z1State, Pair *z2State, float *x, int64_t frames) {
    Pair z1[N];
    Pair z2[N];
    for (size_t k = 0; k < N; ++k) {
        z1[k] = z1State[k];
        z2[k] = z2State[k];
    }
    for (int64_t i = 0; i < frames; ++i) {
        Pair value = {x[2 * i], x[2 * i + 1]};
        for (size_t k = 0; k < N; ++k) {
            const Pair out = c[k].b0 * value + z1[k];
            z1[k] = c[k].b1 * (value - out) + z2[k];
            z2[k] = c[k].b2 * value - c[k].a2 * out;
            value = out;
        }
        x[2 * i] = static_cast<float>(value[0]);
        x[2 * i + 1] = static_cast<float>(value[1]);
    }
    for (size_t k = 0; k < N; ++k) {
        z1State[k] = z1[k];
        z2State[k] = z2[k];
    }
}

} // namespace

void PeakingFilter::ProcessCascade(PeakingFilter *const *filters, size_t count, float *x, int64_t frames) {
    // Groups of up to five bands keep all their state in the sixteen vector registers.
    constexpr size_t kGroup = 5;
    while (count > 0) {
        const size_t n = std::min(count, kGroup);
        Coefficients c[kGroup];
        Pair z1[kGroup];
        Pair z2[kGroup];
        for (size_t k = 0; k < n; ++k) {
            const PeakingFilter &f = *filters[k];
            c[k] =
                Coefficients{Pair{f.b0_, f.b0_}, Pair{f.b1_, f.b1_}, Pair{f.b2_, f.b2_}, Pair{f.a2_, f.a2_}};
            z1[k] = Pair{f.z1_[0], f.z1_[1]};
            z2[k] = Pair{f.z2_[0], f.z2_[1]};
        }
        switch (n) {
        case 1:
            CascadeInRegisters<1>(c, z1, z2, x, frames);
            break;
        case 2:
            CascadeInRegisters<2>(c, z1, z2, x, frames);
            break;
        case 3:
            CascadeInRegisters<3>(c, z1, z2, x, frames);
            break;
        case 4:
            CascadeInRegisters<4>(c, z1, z2, x, frames);
            break;
        default:
            CascadeInRegisters<5>(c, z1, z2, x, frames);
            break;
        }
        auto flush = [](double v) { return std::fabs(v) < 1e-30 ? 0.0 : v; };
        for (size_t k = 0; k < n; ++k) {
            PeakingFilter &f = *filters[k];
            f.z1_[0] = flush(z1[k][0]);
            f.z1_[1] = flush(z1[k][1]);
            f.z2_[0] = flush(z2[k][0]);
            f.z2_[1] = flush(z2[k][1]);
        }
        filters += n;
        count -= n;
    }
}

bool EffectChain::Add(uint32_t handle, int priority, const PeakingParameters &parameters) {
    std::lock_guard lock(changeMutex_);
    for (size_t slot = 0; slot < kMaxBands; ++slot) {
        if (entries_[slot].band == 0) {
            entries_[slot] = Entry{handle, ++bandsMade_, priority, parameters};
            Publish(slot, entries_[slot]);
            return true;
        }
    }
    return false;
}

size_t EffectChain::SlotOf(uint32_t handle) const {
    for (size_t slot = 0; slot < kMaxBands; ++slot) {
        if (entries_[slot].band != 0 && entries_[slot].handle == handle) {
            return slot;
        }
    }
    return kMaxBands;
}

bool EffectChain::Remove(uint32_t handle) {
    std::lock_guard lock(changeMutex_);
    const size_t slot = SlotOf(handle);
    if (slot == kMaxBands) {
        return false;
    }
    entries_[slot] = Entry{};
    Publish(slot, entries_[slot]);
    return true;
}

bool EffectChain::Set(uint32_t handle, const PeakingParameters &parameters) {
    std::lock_guard lock(changeMutex_);
    const size_t slot = SlotOf(handle);
    if (slot == kMaxBands) {
        return false;
    }
    entries_[slot].parameters = parameters;
    Publish(slot, entries_[slot]);
    return true;
}

bool EffectChain::Get(uint32_t handle, PeakingParameters &parameters) const {
    std::lock_guard lock(changeMutex_);
    const size_t slot = SlotOf(handle);
    if (slot == kMaxBands) {
        return false;
    }
    parameters = entries_[slot].parameters;
    return true;
}

void EffectChain::Reset() {
    resets_.fetch_add(1, std::memory_order_release);
}

void EffectChain::Publish(size_t index, const Entry &entry) {
    Slot &slot = slots_[index];
    const uint32_t version = slot.version.load(std::memory_order_relaxed);
    // Each field is stored with release after the odd version, so a reader that sees any of
    // them sees the odd version too when it checks again.
    slot.version.store(version + 1, std::memory_order_relaxed);
    slot.band.store(entry.band, std::memory_order_release);
    slot.priority.store(entry.priority, std::memory_order_release);
    slot.centre.store(entry.parameters.centre, std::memory_order_release);
    slot.bandwidth.store(entry.parameters.bandwidth, std::memory_order_release);
    slot.gain.store(entry.parameters.gain, std::memory_order_release);
    slot.version.store(version + 2, std::memory_order_release);
    changes_.fetch_add(1, std::memory_order_release);
}

void EffectChain::TakeChanges() {
    const uint32_t changes = changes_.load(std::memory_order_acquire);
    if (changes == changesTaken_) {
        return;
    }
    bool allTaken = true;
    bool reordered = false;
    for (size_t index = 0; index < kMaxBands; ++index) {
        Slot &slot = slots_[index];
        Live &live = live_[index];
        const uint32_t version = slot.version.load(std::memory_order_acquire);
        if (version == live.version) {
            continue;
        }
        const uint64_t band = slot.band.load(std::memory_order_acquire);
        const int priority = slot.priority.load(std::memory_order_acquire);
        const PeakingParameters parameters{slot.centre.load(std::memory_order_acquire),
                                           slot.bandwidth.load(std::memory_order_acquire),
                                           slot.gain.load(std::memory_order_acquire)};
        if ((version & 1U) != 0 || slot.version.load(std::memory_order_relaxed) != version) {
            allTaken = false; // being written just now: taken at the next block
            continue;
        }
        live.version = version;
        if (band != live.band) {
            // Another band in this slot (or none): it starts afresh.
            live.band = band;
            live.priority = priority;
            live.filter = PeakingFilter(parameters);
            reordered = true;
        } else if (band != 0) {
            reordered = reordered || priority != live.priority;
            live.priority = priority;
            live.filter.SetParameters(parameters);
        }
    }
    if (allTaken) {
        changesTaken_ = changes;
    }
    if (reordered) {
        SortBands();
    }
}

void EffectChain::SortBands() {
    bandCount_ = 0;
    for (size_t index = 0; index < kMaxBands; ++index) {
        if (live_[index].band != 0) {
            order_[bandCount_++] = static_cast<uint8_t>(index);
        }
    }
    // Higher priority first, then the older band.
    std::sort(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(bandCount_), [this](uint8_t a, uint8_t b) {
        const Live &x = live_[a];
        const Live &y = live_[b];
        return x.priority != y.priority ? x.priority > y.priority : x.band < y.band;
    });
}

void EffectChain::CollectActive() {
    activeCount_ = 0;
    ramping_ = false;
    for (size_t i = 0; i < bandCount_; ++i) {
        PeakingFilter &filter = live_[order_[i]].filter;
        if (!filter.IsIdentity()) {
            active_[activeCount_++] = &filter;
            ramping_ = ramping_ || filter.IsRamping();
        }
    }
}

void EffectChain::Process(float *interleaved, int64_t frames) {
    TakeChanges();
    const uint32_t resets = resets_.load(std::memory_order_acquire);
    if (resets != resetsTaken_) {
        resetsTaken_ = resets;
        for (Live &live : live_) {
            live.filter.Reset();
        }
    }
    CollectActive();
    // While a gain moves, the coefficients follow it in short steps; otherwise one pass.
    while (frames > 0 && activeCount_ > 0) {
        const int64_t n = ramping_ ? std::min(frames, kGainRampStepFrames) : frames;
        if (ramping_) {
            for (size_t i = 0; i < activeCount_; ++i) {
                active_[i]->AdvanceRamp(n);
            }
        }
        PeakingFilter::ProcessCascade(active_.data(), activeCount_, interleaved, n);
        interleaved += n * kOutputChannels;
        frames -= n;
        if (ramping_) {
            CollectActive();
        }
    }
}

} // namespace lirvo::audio
