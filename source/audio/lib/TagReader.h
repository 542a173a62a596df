#pragma once
// Title, artist and album of an audio file through TagLib, as UTF-8.

#include <string>

namespace lirvo::audio {

struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
};

// Empty fields when the file has no such tag or cannot be read.
TrackTags ReadTrackTags(const std::string &path);

} // namespace lirvo::audio
