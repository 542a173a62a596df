#pragma once
// Lyrics stored in a song's own tags, read with TagLib: ID3v2 SYLT (synchronised, converted to
// LRC) and USLT, Xiph/FLAC LYRICS and UNSYNCEDLYRICS, MP4 "©lyr", APE "Lyrics". Only a timed
// lyric counts: text without LRC time tags is passed over. Reading may block (file I/O), so it
// runs on worker threads.

#include <cstdint>
#include <string>
#include <vector>

namespace lirvo::lyrics {

// One entry of a synchronised lyric: its text starts at TimeMs.
struct TSyncedText {
    uint32_t TimeMs = 0;
    std::string Text; // UTF-8
};

// LRC text of a synchronised lyric, one line per entry, ended by CR LF. When entries begin with
// a line break (the karaoke form, one entry per word), each break starts a new line and the
// entries of a line become its word tags. Line breaks inside a text become blanks; empty
// entries and entries past 99:59:59.999 are left out.
std::string SyncedTextToLrc(const std::vector<TSyncedText> &entries);

// LRC time of `ms` as "mm:ss.xxx", or "hh:mm:ss.xxx" from one hour on.
std::string FormatLrcTime(uint32_t ms);

// True when the text holds at least one timed line in the LRC grammar.
bool HasTimedLines(const std::string &text);

// The first timed lyric embedded in the song's tags, in the order SYLT, USLT, LYRICS,
// UNSYNCEDLYRICS, ©lyr, APE Lyrics; empty when there is none or the file cannot be read.
std::string ReadEmbeddedLyric(const std::string &songPath);

// Title, artist, album and duration of a song from its tags (empty or 0 when unknown).
struct TSongTags {
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t DurationMs = 0;
};
TSongTags ReadSongTags(const std::string &songPath);

} // namespace lirvo::lyrics
