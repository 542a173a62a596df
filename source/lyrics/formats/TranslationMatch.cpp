#include "lyrics/formats/TranslationMatch.h"

#include "function/text/FastStrings.h"

#include <algorithm>
#include <cstddef>
#include <numeric>

namespace lirvo::lyrics::services {

bool IsUntranslated(std::string_view text) {
    const std::string_view trimmed = text::TrimBlank(text);
    return trimmed.empty() || trimmed == "//";
}

namespace {

// Skips used slots of a sorted candidate list in one direction: Find(i) is the nearest unused
// slot at i or beyond (in the direction), with path compression so that a run of used slots
// is crossed in near-constant time however often it is asked about.
class UnusedFinder {
public:
    // Slots 0..count-1; the sentinel count stands for "none" in either direction.
    UnusedFinder(std::size_t count, bool upwards) : m_next(count + 2), m_upwards(upwards) {
        std::iota(m_next.begin(), m_next.end(), std::size_t{0});
    }
    // Slot indexes are shifted by one so that "below slot 0" is index 0.
    std::size_t Find(std::size_t index) {
        std::size_t root = index;
        while (m_next[root] != root)
            root = m_next[root];
        while (m_next[index] != root) {
            const std::size_t next = m_next[index];
            m_next[index] = root;
            index = next;
        }
        return root;
    }
    void MarkUsed(std::size_t index) { m_next[index] = m_upwards ? index + 1 : index - 1; }

private:
    std::vector<std::size_t> m_next;
    bool m_upwards;
};

int64_t Distance(int32_t a, int32_t b) {
    const int64_t d = int64_t{a} - int64_t{b};
    return d < 0 ? -d : d;
}

} // namespace

void AttachTranslationsByTime(std::vector<TTimedLine> &lines, const std::vector<TTimedLine> &translation,
                              int32_t toleranceMs) {
    // Candidates in stable time order; slot k (1-based inside the finders) is candidates[k-1].
    std::vector<const TTimedLine *> candidates;
    for (const TTimedLine &entry : translation)
        if (!IsUntranslated(entry.Text))
            candidates.push_back(&entry);
    if (candidates.empty() || toleranceMs < 0)
        return;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const TTimedLine *a, const TTimedLine *b) { return a->StartMs < b->StartMs; });
    const std::size_t n = candidates.size();
    UnusedFinder up(n, true), down(n, false);
    for (TTimedLine &line : lines) {
        if (!line.Translation.empty() || text::IsBlank(line.Text))
            continue;
        // First candidate starting at or after the line (slot numbers are 1-based).
        const auto at = std::lower_bound(candidates.begin(), candidates.end(), line.StartMs,
                                         [](const TTimedLine *c, int32_t t) { return c->StartMs < t; });
        const std::size_t firstAfter = static_cast<std::size_t>(at - candidates.begin()) + 1;
        const std::size_t after = up.Find(firstAfter);       // n + 1 when none
        const std::size_t before = down.Find(firstAfter - 1); // 0 when none
        std::size_t best = 0;
        int64_t bestDistance = int64_t{toleranceMs} + 1;
        if (before >= 1) {
            bestDistance = std::min(bestDistance, Distance(candidates[before - 1]->StartMs, line.StartMs));
            if (bestDistance <= toleranceMs)
                best = before;
        }
        if (after <= n) {
            const int64_t d = Distance(candidates[after - 1]->StartMs, line.StartMs);
            if (d < bestDistance && d <= toleranceMs)
                best = after;
        }
        if (best == 0)
            continue;
        line.Translation = std::string(text::TrimBlank(candidates[best - 1]->Text));
        up.MarkUsed(best);
        down.MarkUsed(best);
    }
}

void AttachTranslationsByIndexOrTime(std::vector<TTimedLine> &lines, const std::vector<TTimedLine> &translation,
                                     int32_t toleranceMs) {
    if (lines.size() != translation.size()) {
        AttachTranslationsByTime(lines, translation, toleranceMs);
        return;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        TTimedLine &line = lines[i];
        if (line.Translation.empty() && !text::IsBlank(line.Text) && !IsUntranslated(translation[i].Text))
            line.Translation = std::string(text::TrimBlank(translation[i].Text));
    }
}

} // namespace lirvo::lyrics::services
