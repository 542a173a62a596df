#pragma once
// What another player's Metadata map (MPRIS 2, a{sv}) says about its track, read the way
// players really send it: values wrapped in variants or not, the track id as an object path or
// a string, the length as int64, uint64 or double, the artist as a list or one text, texts as
// byte arrays of any encoding. Nothing a sender puts there makes the reader fail: what cannot
// be read is left empty. Also the local file a track's xesam:url names, whether that file may
// be read beside the lyric lookup, and the cleaning of titles that browsers send.
// Pure functions; any thread.

#include <QMetaType>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <string>
#include <string_view>

namespace lirvo::follow {

// The track another player plays, as the band and the lyric lookup use it. Texts are UTF-8.
struct TFollowedTrack {
    std::string TrackId;   // mpris:trackid; tells few players' tracks apart (see TrackStabiliser)
    std::string Title;     // xesam:title
    std::string Artist;    // xesam:artist, several names joined with "/"
    std::string Album;     // xesam:album
    std::int64_t LengthMs = -1; // mpris:length; -1 when absent or unusable
    std::string Url;       // xesam:url as sent
    std::string LocalPath; // the local file of a file:// xesam:url (bytes as the file system holds them)
    std::string LyricText; // xesam:asText

    bool operator==(const TFollowedTrack &) const = default;
};

// Texts longer than this are cut (at a whole character); the lyric text may be longer.
inline constexpr std::size_t kMaxFieldBytes = 4096;
inline constexpr std::size_t kMaxLyricTextBytes = 1 << 20;
// The largest local file the lyric side reads for a followed track.
inline constexpr std::uintmax_t kMaxLyricSideFileBytes = 4u << 20;

// Reads a Metadata map. Fields that are missing or of a type that cannot stand for them stay
// empty (LengthMs -1).
TFollowedTrack ReadMetadata(const QVariantMap &metadata);

// The a{sv} map a D-Bus value holds: a QVariantMap, or a QDBusArgument of signature a{sv},
// also inside QDBusVariant wrappers. Empty for anything else.
QVariantMap MapFromBusValue(const QVariant &value);

// The value inside any number of QDBusVariant wrappers.
QVariant UnwrapBusValue(const QVariant &value);

// A D-Bus number (int32, uint32, int64, uint64, double) as int64; false for other types, NaN
// and values that do not fit.
bool BusNumber(const QVariant &value, std::int64_t &out);

// The local path of a file:// address: percent escapes decoded to bytes, host empty or
// "localhost", a query or fragment cut off. Empty for other addresses, relative paths and
// paths holding a NUL byte.
std::string LocalPathFromUrl(std::string_view url);

// Whether the lyric side may read `path`: it names a regular file (never a FIFO, socket or
// device, which could block a reader or never end) of at most `maxBytes`.
bool IsReadableLocalFile(const std::string &path, std::uintmax_t maxBytes = kMaxLyricSideFileBytes);

// A title as browsers and their bridge send it, made fit for a lyric lookup: a leading
// notification count "(3) " is dropped, so are the endings " - YouTube", " - YouTube Music"
// and "_哔哩哔哩_bilibili"; when no artist is given and the title reads "Artist - Title", it
// is split there.
struct TCleanedTitle {
    std::string Title;
    std::string Artist;
    bool operator==(const TCleanedTitle &) const = default;
};
TCleanedTitle CleanBrowserTitle(std::string_view title, std::string_view artist);

} // namespace lirvo::follow

Q_DECLARE_METATYPE(lirvo::follow::TFollowedTrack)
