#include "shell/mpris/MprisState.h"

#include <QDBusObjectPath>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lirvo::mpris {

QString PlaybackStatusFor(int engineState) {
    switch (engineState) {
    case 1002:
        return QStringLiteral("Playing");
    case 1003:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QString LoopStatusFor(std::uint8_t playMode) {
    switch (playMode) {
    case 2:
        return QStringLiteral("Playlist");
    case 3:
        return QStringLiteral("Track");
    default:
        return QStringLiteral("None");
    }
}

std::optional<int> ModeBoxIndexFor(const QString &loopStatus) {
    if (loopStatus == QLatin1String("None"))
        return 0;
    if (loopStatus == QLatin1String("Playlist"))
        return 1;
    if (loopStatus == QLatin1String("Track"))
        return 2;
    return std::nullopt;
}

double VolumeToBus(double volume) {
    return std::clamp(volume, 0.0, 100.0) / 100.0;
}

std::optional<double> VolumeFromBus(double volume) {
    if (std::isnan(volume))
        return std::nullopt;
    return std::clamp(volume, 0.0, 1.0) * 100.0;
}

QString TrackIdFor(const std::vector<std::string> &paths, int index) {
    if (index < 0 || index >= static_cast<int>(paths.size()))
        return QString::fromLatin1(kNoTrack);
    const std::string &path = paths[static_cast<std::size_t>(index)];
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    int earlier = 0;
    for (int i = 0; i < index; ++i)
        earlier += paths[static_cast<std::size_t>(i)] == path;
    return QStringLiteral("/net/lirvo/track/t%1_%2").arg(hash, 16, 16, QLatin1Char('0')).arg(earlier);
}

QVariantMap MetadataFor(const TrackInfo &track) {
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(track.TrackId)));
    if (track.LengthMs > 0)
        map.insert(QStringLiteral("mpris:length"), QVariant::fromValue<qlonglong>(track.LengthMs * 1000));
    const auto put = [&](const char *key, const std::string &text) {
        if (!text.empty())
            map.insert(QString::fromLatin1(key), QString::fromStdString(text));
    };
    put("xesam:title", track.Title);
    if (!track.Artist.empty())
        map.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(track.Artist)});
    put("xesam:album", track.Album);
    if (!track.Location.empty()) {
        const QString location = QString::fromStdString(track.Location);
        const bool local = track.Location.front() == '/';
        map.insert(QStringLiteral("xesam:url"),
                   local ? QUrl::fromLocalFile(location).toString(QUrl::FullyEncoded) : location);
    }
    put("xesam:asText", track.LyricText);
    return map;
}

std::optional<std::string> LocationForUri(const QString &uri) {
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        if (!url.host().isEmpty() && url.host() != QLatin1String("localhost"))
            return std::nullopt;
        const QString path = url.path(QUrl::FullyDecoded);
        if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
            return std::nullopt;
        return path.toStdString();
    }
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return url.toString(QUrl::FullyEncoded).toStdString();
    return std::nullopt;
}

QStringList SupportedMimeTypes() {
    // The same list as the desktop entry's MimeType key.
    static const char *const kTypes[] = {
        "audio/mpeg",   "audio/mp2",          "audio/x-wav",     "audio/wav",     "audio/ogg",
        "audio/x-vorbis+ogg", "audio/x-opus+ogg", "audio/flac",   "audio/x-flac",  "audio/aac",
        "audio/mp4",    "audio/x-m4a",        "audio/x-m4b",     "audio/x-ms-wma", "audio/x-ape",
        "audio/x-aiff", "audio/x-mod",        "audio/x-mo3",     "audio/x-s3m",   "audio/x-it",
        "audio/x-xm",   "audio/x-mpegurl",    "audio/mpegurl",   "application/vnd.apple.mpegurl",
        "audio/x-scpls"};
    QStringList types;
    for (const char *type : kTypes)
        types << QString::fromLatin1(type);
    return types;
}

std::int64_t AddClamped(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

} // namespace lirvo::mpris
