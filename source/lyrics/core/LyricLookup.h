#pragma once
// Where the lyric of a starting song comes from, in this order:
//   1. beside the song: the same name with ".lrc" in any letter case;
//   2. embedded in the song's tags (EmbeddedLyrics.h), when it is a timed lyric;
//   3. the lyric folder, by the similarity of the file name to "title artist";
//   4. online (LRCLIB): the exact entry, else the closest synced search result that passes
//      the title, artist and duration checks. An online lyric is saved into the lyric folder
//      under a name step 3 finds again, so the next play needs no network.
// Everything here may block (disk, network): call it from worker threads only.

#include "lyrics/core/LRC_Header.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::lyrics {

// ---- beside the song and in the lyric folder ----

// The lyric file beside a song: its name with the extension replaced by ".lrc", where the
// extension of the lyric may be written in any letter case ("Song.LRC"). An exact ".lrc" is
// preferred. Empty when there is none.
std::string FindBesideLyricFile(const std::string &songPath);

// The form in which lyric file names and the key "title artist" are compared: ASCII letters
// lower-cased, the characters file names may not hold removed, " - " read as a blank, blanks
// at both ends trimmed.
std::string NormalizeLyricName(std::string_view name);

// Name under which an online lyric for this song is kept in the lyric folder:
// "Title - Artist.lrc" ("Title.lrc" without an artist), without the characters file names may
// not hold and cut to fit the file system. The folder lookup finds it at score 100.
std::string OnlineLyricFileName(const std::string &title, const std::string &artist);

// ---- online ----

// The search result to take for this song: only results with a synced lyric that are not
// instrumental; title and artist each scoring at least 80 (lower-cased; the artist check is
// skipped when the song's artist is unknown); within 2 s when both durations are known. The
// nearest duration wins, then the best score. nullopt when none passes.
std::optional<std::size_t> ChooseSyncedResult(const TSongQuery &song, const std::vector<TLrcResult> &results);

// Asks the exact entry first, then searches; takes the lyric from the answer that carried it.
// nullopt when there is no lyric (nothing passes, instrumental, or a failure). Holds
// service.SessionLock() while it works.
std::optional<TOnlineLyric> FetchSyncedLyric(ILrcService &service, const TSongQuery &song);

// ---- the whole lookup ----

enum class TLyricSource { None, Beside, Embedded, Folder, Online };
// "beside", "embedded", "folder", "online"; "" for None.
const char *LyricSourceName(TLyricSource source);

struct TLyricLookupRequest {
    std::string Path; // the song's file (or network address: then only folder and online apply)
    TSongQuery Song;
    std::string LyricDir;
    bool OnlineAllowed = false;
};

struct TLyricLookupResult {
    TLyricSource Source = TLyricSource::None;
    std::string Where;     // the file read; the song, for embedded; the online id, for online
    std::string Text;      // lines joined, each followed by CR LF; empty when nothing was found
    std::string LyricFile; // the lyric's own file (for online: the saved copy); empty for embedded
    bool AskedOnline = false;
    std::string OnlineError; // why the online step failed, "" when it did not
};

// Runs the lookup. An online result is saved into LyricDir (when that folder exists) before
// this returns; LyricFile then names the saved file.
TLyricLookupResult LookupLyric(const TLyricLookupRequest &request, ILrcService *service);

} // namespace lirvo::lyrics
