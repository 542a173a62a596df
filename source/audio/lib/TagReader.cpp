#include "audio/lib/TagReader.h"

#include "audio/lib/LegacyTagText.h"

#include <taglib/fileref.h>
#include <taglib/infotag.h>
#include <taglib/tag.h>
#include <taglib/wavfile.h>

namespace lirvo::audio {

TrackTags ReadTrackTags(const std::string &path) {
    InstallLegacyTagDecoders();
    TrackTags tags;
    TagLib::FileRef file(path.c_str(), false);
    if (file.isNull() || file.tag() == nullptr) {
        return tags;
    }
    const TagLib::Tag *tag = file.tag();
    // TagLib's tag of a WAV file is its ID3v2 chunk; most WAV writers put the title and artist
    // into the RIFF INFO chunk instead, which then stands in for what the ID3v2 chunk lacks.
    const auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file.file());
    const TagLib::Tag *info = wav && wav->hasInfoTag() ? wav->InfoTag() : nullptr;
    auto text = [&](TagLib::String (TagLib::Tag::*field)() const) {
        TagLib::String value = (tag->*field)();
        if (value.isEmpty() && info)
            value = (info->*field)();
        return value.to8Bit(true);
    };
    tags.title = text(&TagLib::Tag::title);
    tags.artist = text(&TagLib::Tag::artist);
    tags.album = text(&TagLib::Tag::album);
    return tags;
}

} // namespace lirvo::audio
