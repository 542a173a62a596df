#pragma once
// The sound-effect preset file ("effect.dat" next to the program): every element named "eq"
// (any case) is one preset with the attributes "id", "name" and "q1" ... "q10" (gains in dB of
// the ten bands). The file is only read. Each call scans the file from the start, so a change
// to the file shows at the next call.
//
// The scan follows the reader's parts literally: a separate end tag </eq> counts as one more
// preset without attributes, and text right after an eq element counts as another copy of it.
// Presets should therefore be written as empty elements (<eq id="0" name="..." q1="0" ... />).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lirvo::shell {

using PresetGains = std::array<std::int32_t, 10>;

// An attribute that should hold an integer does not.
class PresetValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The "name" of every preset in file order (empty when absent); empty list for a missing file.
std::vector<std::string> ReadPresetNames(const std::string &path);

// The gains of the last preset whose "id" equals `id`; nullopt when none matches (or the file
// is missing). Throws PresetValueError when an "id" met before the match, or a gain of the
// matching preset, is not an integer.
std::optional<PresetGains> FindPresetGains(const std::string &path, std::int32_t id);

// Calls `apply` with the gains of every preset whose "id" equals `id`, in file order, as it is
// met (so the last one wins). Throws PresetValueError at the first "id" or gain of a matching
// preset that is not an integer; presets met before that point have been applied.
void ScanPresetGains(const std::string &path, std::int32_t id,
                     const std::function<void(const PresetGains &)> &apply);

// The same over a document held in memory.
std::vector<std::string> ReadPresetNamesFromText(const std::string &document);
std::optional<PresetGains> FindPresetGainsInText(const std::string &document, std::int32_t id);

} // namespace lirvo::shell
