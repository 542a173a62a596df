#pragma once
// How the player's state reads on the desktop's media-player interface (MPRIS 2): playback and
// loop status, volume, track ids and the metadata map. Pure functions, so the mapping is tested
// without a bus.

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::mpris {

inline constexpr const char *kServiceName = "org.mpris.MediaPlayer2.lirvo";
inline constexpr const char *kObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char *kRootInterface = "org.mpris.MediaPlayer2";
inline constexpr const char *kPlayerInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr const char *kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// "Playing" (engine state 1002), "Paused" (1003), otherwise "Stopped".
QString PlaybackStatusFor(int engineState);

// Play modes 0, 2, 3 read as "None", "Playlist", "Track".
QString LoopStatusFor(std::uint8_t playMode);
// The play-mode box entry (0 "普通", 1 "循环", 2 "单曲循环") for a loop status; nullopt for an
// unknown text.
std::optional<int> ModeBoxIndexFor(const QString &loopStatus);

// Volume 0..100 as 0.0..1.0 and back (clamped; NaN gives nullopt).
double VolumeToBus(double volume);
std::optional<double> VolumeFromBus(double volume);

// A track id for the row at `index` of the rows with `paths`: the same object path for that row
// for as long as it exists, whatever rows come or go around it. It is made of a hash of the
// row's location and how many rows before it share that location.
QString TrackIdFor(const std::vector<std::string> &paths, int index);

struct TrackInfo {
    QString TrackId;
    std::string Title, Artist, Album, Location, LyricText;
    std::int64_t LengthMs = 0;
};

// The Metadata map: mpris:trackid, mpris:length (µs), xesam:title, xesam:artist (a list),
// xesam:album, xesam:url (file:// for local paths) and xesam:asText; empty texts are left out.
QVariantMap MetadataFor(const TrackInfo &track);

// The location a URI names for the command block: the local path of a file:// URI, an http or
// https URI as it is; nullopt for anything else.
std::optional<std::string> LocationForUri(const QString &uri);

// MIME types of the audio files and local playlists the player opens.
QStringList SupportedMimeTypes();

// Saturating a + b for positions in µs.
std::int64_t AddClamped(std::int64_t a, std::int64_t b);

} // namespace lirvo::mpris
