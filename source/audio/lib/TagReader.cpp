#include "audio/lib/TagReader.h"

#include "audio/lib/LegacyTagText.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace lirvo::audio {

TrackTags ReadTrackTags(const std::string &path) {
    InstallLegacyTagDecoders();
    TrackTags tags;
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr) {
        return tags;
    }
    const TagLib::Tag *tag = file.tag();
    tags.title = tag->title().to8Bit(true);
    tags.artist = tag->artist().to8Bit(true);
    tags.album = tag->album().to8Bit(true);
    return tags;
}

} // namespace lirvo::audio
