#include "lyrics/core/EmbeddedLyrics.h"

#include "function/text/FastStrings.h"
#include "lyrics/core/uLRCHandle.h"

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <cstdio>

namespace lirvo::lyrics {

namespace {

constexpr uint32_t kLastLrcTime = 99u * 3600000u + 59u * 60000u + 59u * 1000u + 999u;

std::string Utf8(const TagLib::String &text) {
    return text.to8Bit(true);
}

bool StartsWithBreak(const std::string &text) {
    return !text.empty() && (text.front() == '\n' || text.front() == '\r');
}

// The text without leading line breaks, other breaks turned into blanks.
std::string OneLine(const std::string &text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == '\n' || text[start] == '\r'))
        ++start;
    std::string out = text.substr(start);
    for (char &c : out)
        if (c == '\n' || c == '\r')
            c = ' ';
    return out;
}

// A candidate text counts only when it is a timed lyric.
std::string TimedOrEmpty(std::string text) {
    return HasTimedLines(text) ? text : std::string();
}

std::string FromSylt(const TagLib::ID3v2::Tag *tag) {
    if (!tag)
        return {};
    for (TagLib::ID3v2::Frame *frame : tag->frameList("SYLT")) {
        auto *sylt = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame *>(frame);
        // Times counted in MPEG frames would need the stream's frame length; only
        // millisecond times are converted.
        if (!sylt || sylt->timestampFormat() != TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds)
            continue;
        std::vector<TSyncedText> entries;
        for (const auto &entry : sylt->synchedText())
            entries.push_back(TSyncedText{entry.time, Utf8(entry.text)});
        std::string lrc = TimedOrEmpty(SyncedTextToLrc(entries));
        if (!lrc.empty())
            return lrc;
    }
    return {};
}

std::string FromUslt(const TagLib::ID3v2::Tag *tag) {
    if (!tag)
        return {};
    for (TagLib::ID3v2::Frame *frame : tag->frameList("USLT")) {
        auto *uslt = dynamic_cast<TagLib::ID3v2::UnsynchronizedLyricsFrame *>(frame);
        if (!uslt)
            continue;
        std::string lrc = TimedOrEmpty(Utf8(uslt->text()));
        if (!lrc.empty())
            return lrc;
    }
    return {};
}

std::string FromId3v2(TagLib::ID3v2::Tag *tag) {
    std::string lrc = FromSylt(tag);
    return lrc.empty() ? FromUslt(tag) : lrc;
}

std::string FromXiph(TagLib::Ogg::XiphComment *comment) {
    if (!comment)
        return {};
    const TagLib::Ogg::FieldListMap &fields = comment->fieldListMap();
    for (const char *key : {"LYRICS", "UNSYNCEDLYRICS"}) {
        auto it = fields.find(key);
        if (it == fields.end())
            continue;
        for (const TagLib::String &value : it->second) {
            std::string lrc = TimedOrEmpty(Utf8(value));
            if (!lrc.empty())
                return lrc;
        }
    }
    return {};
}

std::string FromApe(TagLib::APE::Tag *tag) {
    if (!tag)
        return {};
    // APE keys are compared without regard to case; TagLib keeps them upper-cased.
    const TagLib::APE::ItemListMap &items = tag->itemListMap();
    auto it = items.find("LYRICS");
    if (it == items.end())
        return {};
    for (const TagLib::String &value : it->second.values()) {
        std::string lrc = TimedOrEmpty(Utf8(value));
        if (!lrc.empty())
            return lrc;
    }
    return {};
}

std::string FromMp4(TagLib::MP4::Tag *tag) {
    if (!tag || !tag->contains("\251lyr"))
        return {};
    for (const TagLib::String &value : tag->item("\251lyr").toStringList()) {
        std::string lrc = TimedOrEmpty(Utf8(value));
        if (!lrc.empty())
            return lrc;
    }
    return {};
}

} // namespace

std::string FormatLrcTime(uint32_t ms) {
    char buffer[32];
    const unsigned hours = ms / 3600000u;
    const unsigned minutes = ms / 60000u % 60u;
    const unsigned seconds = ms / 1000u % 60u;
    const unsigned millis = ms % 1000u;
    if (hours > 0)
        std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%03u", hours, minutes, seconds, millis);
    else
        std::snprintf(buffer, sizeof buffer, "%02u:%02u.%03u", minutes, seconds, millis);
    return buffer;
}

std::string SyncedTextToLrc(const std::vector<TSyncedText> &entries) {
    bool karaoke = false;
    for (const TSyncedText &entry : entries)
        karaoke = karaoke || StartsWithBreak(entry.Text);

    struct Line {
        uint32_t time;
        std::vector<const TSyncedText *> parts;
    };
    std::vector<Line> lines;
    for (const TSyncedText &entry : entries) {
        if (entry.TimeMs > kLastLrcTime || text::IsBlank(OneLine(entry.Text)))
            continue;
        if (!karaoke || StartsWithBreak(entry.Text) || lines.empty())
            lines.push_back(Line{entry.TimeMs, {}});
        lines.back().parts.push_back(&entry);
    }

    std::string lrc;
    for (const Line &line : lines) {
        lrc += '[' + FormatLrcTime(line.time) + ']';
        if (line.parts.size() == 1) {
            lrc += OneLine(line.parts.front()->Text);
        } else {
            for (const TSyncedText *part : line.parts)
                lrc += '<' + FormatLrcTime(part->TimeMs) + '>' + OneLine(part->Text);
        }
        lrc += "\r\n";
    }
    return lrc;
}

bool HasTimedLines(const std::string &text) {
    TLyricHandle handle;
    handle.Parse(text);
    return handle.Count() > 0;
}

std::string ReadEmbeddedLyric(const std::string &songPath) {
    try {
        TagLib::FileRef ref(songPath.c_str(), false);
        TagLib::File *file = ref.file();
        if (!file || !file->isValid())
            return {};
        if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(file)) {
            std::string lrc = FromId3v2(mpeg->ID3v2Tag(false));
            return lrc.empty() ? FromApe(mpeg->APETag(false)) : lrc;
        }
        if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file)) {
            std::string lrc = FromXiph(flac->xiphComment(false));
            return lrc.empty() ? FromId3v2(flac->ID3v2Tag(false)) : lrc;
        }
        if (auto *ogg = dynamic_cast<TagLib::Ogg::File *>(file))
            return FromXiph(dynamic_cast<TagLib::Ogg::XiphComment *>(ogg->tag()));
        if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file))
            return FromMp4(mp4->tag());
        if (auto *ape = dynamic_cast<TagLib::APE::File *>(file))
            return FromApe(ape->APETag(false));
        if (auto *wavpack = dynamic_cast<TagLib::WavPack::File *>(file))
            return FromApe(wavpack->APETag(false));
        if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file))
            return FromId3v2(wav->ID3v2Tag());
    } catch (...) {
        // A file TagLib cannot cope with has no usable lyric.
    }
    return {};
}

TSongTags ReadSongTags(const std::string &songPath) {
    TSongTags tags;
    try {
        TagLib::FileRef ref(songPath.c_str(), true, TagLib::AudioProperties::Fast);
        if (ref.isNull())
            return tags;
        if (TagLib::Tag *tag = ref.tag()) {
            tags.Title = Utf8(tag->title());
            tags.Artist = Utf8(tag->artist());
            tags.Album = Utf8(tag->album());
        }
        // A WAV file's title and artist are mostly in its RIFF INFO chunk, not in ID3v2.
        if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(ref.file()); wav && wav->hasInfoTag()) {
            const TagLib::RIFF::Info::Tag *info = wav->InfoTag();
            for (auto [field, value] : {std::pair{&tags.Title, info->title()}, std::pair{&tags.Artist, info->artist()},
                                        std::pair{&tags.Album, info->album()}})
                if (field->empty())
                    *field = Utf8(value);
        }
        if (TagLib::AudioProperties *properties = ref.audioProperties())
            tags.DurationMs = properties->lengthInMilliseconds();
    } catch (...) {
    }
    return tags;
}

} // namespace lirvo::lyrics
