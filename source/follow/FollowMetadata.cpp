#include "follow/FollowMetadata.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QStringList>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <limits>

namespace lirvo::follow {

namespace {

// A sender could nest variants without end; real players wrap once at most.
constexpr int kMaxWrapping = 8;
// Longer than any song or stream a lyric could follow (about 11.5 days).
constexpr std::int64_t kMaxLengthMs = 1'000'000'000;

// Bytes of unknown encoding as UTF-8: kept when they are UTF-8 already, else read as GBK,
// the other encoding players on this desktop send; whatever is left becomes U+FFFD.
std::string Utf8FromBytes(const QByteArray &bytes) {
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (text::IsValidUtf8(view))
        return std::string(view);
    return text::GbkToUtf8(view);
}

// One line of text: control characters (a NUL, a line break) read as blanks, blanks at both
// ends dropped, cut at a whole character.
std::string OneLine(std::string text, std::size_t maxBytes) {
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = ' ';
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
    if (text.size() > maxBytes)
        text = lirvo::text::Utf8Truncate(text, maxBytes);
    return text;
}

std::string TextOfScalar(const QVariant &value) {
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString().toUtf8().toStdString();
    case QMetaType::QByteArray:
        return Utf8FromBytes(value.toByteArray());
    default:
        if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
            return value.value<QDBusObjectPath>().path().toStdString();
        if (value.metaType() == QMetaType::fromType<QDBusSignature>())
            return value.value<QDBusSignature>().signature().toStdString();
        return {};
    }
}

// The texts a value holds: one for a string, object path or byte array, each item's for a
// list of them (as, ao, av, ay wrapped as a QDBusArgument, QStringList, QVariantList).
QStringList TextsOf(const QVariant &wrapped) {
    const QVariant value = UnwrapBusValue(wrapped);
    QStringList texts;
    const auto add = [&texts](const std::string &text) {
        if (!text.empty())
            texts.push_back(QString::fromStdString(text));
    };
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        for (const QString &item : value.toStringList())
            add(item.toUtf8().toStdString());
    } else if (value.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant &item : value.toList())
            add(TextOfScalar(UnwrapBusValue(item)));
    } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto arg = value.value<QDBusArgument>();
        const QString signature = arg.currentSignature();
        if (signature == QLatin1String("as")) {
            QStringList list;
            arg >> list;
            for (const QString &item : list)
                add(item.toUtf8().toStdString());
        } else if (signature == QLatin1String("ay")) {
            QByteArray bytes;
            arg >> bytes;
            add(Utf8FromBytes(bytes));
        } else if (signature == QLatin1String("ao") || signature == QLatin1String("av")) {
            arg.beginArray();
            while (!arg.atEnd()) {
                if (signature == QLatin1String("ao")) {
                    QDBusObjectPath path;
                    arg >> path;
                    add(path.path().toStdString());
                } else {
                    QDBusVariant item;
                    arg >> item;
                    add(TextOfScalar(UnwrapBusValue(item.variant())));
                }
            }
            arg.endArray();
        }
    } else {
        add(TextOfScalar(value));
    }
    return texts;
}

std::string FirstText(const QVariant &value) {
    const QStringList texts = TextsOf(value);
    return texts.isEmpty() ? std::string() : texts.front().toUtf8().toStdString();
}

// A file URL's escapes: every "%XX" (a "+" or "&" is part of the path, unlike in form text).
int HexDigit(char c) {
    return text::HexDigit(static_cast<unsigned char>(c));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool EndsWith(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

QVariant UnwrapBusValue(const QVariant &value) {
    QVariant inner = value;
    for (int depth = 0; depth < kMaxWrapping && inner.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        inner = inner.value<QDBusVariant>().variant();
    if (inner.metaType() == QMetaType::fromType<QDBusVariant>())
        return {};
    return inner;
}

QVariantMap MapFromBusValue(const QVariant &wrapped) {
    const QVariant value = UnwrapBusValue(wrapped);
    if (value.metaType() == QMetaType::fromType<QVariantMap>())
        return value.toMap();
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto arg = value.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("a{sv}")) {
            QVariantMap map;
            arg >> map;
            return map;
        }
    }
    return {};
}

bool BusNumber(const QVariant &wrapped, std::int64_t &out) {
    const QVariant value = UnwrapBusValue(wrapped);
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::LongLong:
        out = value.toLongLong();
        return true;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
        out = static_cast<std::int64_t>(value.toULongLong());
        return true;
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max()))
            return false;
        out = static_cast<std::int64_t>(number);
        return true;
    }
    case QMetaType::Double: {
        const double number = value.toDouble();
        // Within ±2^62, so the conversion is defined.
        if (!std::isfinite(number) || std::fabs(number) > 4.6e18)
            return false;
        out = static_cast<std::int64_t>(std::llround(number));
        return true;
    }
    default:
        return false;
    }
}

TFollowedTrack ReadMetadata(const QVariantMap &metadata) {
    TFollowedTrack track;
    const auto field = [&metadata](const char *key) { return metadata.value(QLatin1String(key)); };
    track.TrackId = OneLine(FirstText(field("mpris:trackid")), kMaxFieldBytes);
    if (track.TrackId.empty()) {
        std::int64_t number = 0;
        if (BusNumber(field("mpris:trackid"), number))
            track.TrackId = std::to_string(number);
    }
    track.Title = OneLine(FirstText(field("xesam:title")), kMaxFieldBytes);
    track.Artist = OneLine(TextsOf(field("xesam:artist")).join(QLatin1Char('/')).toUtf8().toStdString(), kMaxFieldBytes);
    track.Album = OneLine(FirstText(field("xesam:album")), kMaxFieldBytes);
    std::int64_t lengthUs = 0;
    if (BusNumber(field("mpris:length"), lengthUs) && lengthUs >= 1000 && lengthUs / 1000 <= kMaxLengthMs)
        track.LengthMs = lengthUs / 1000;
    track.Url = OneLine(FirstText(field("xesam:url")), kMaxFieldBytes);
    track.LocalPath = LocalPathFromUrl(track.Url);
    std::string lyric = TextsOf(field("xesam:asText")).join(QLatin1Char('\n')).toUtf8().toStdString();
    if (lyric.size() > kMaxLyricTextBytes)
        lyric = text::Utf8Truncate(lyric, kMaxLyricTextBytes);
    track.LyricText = std::move(lyric);
    return track;
}

std::string LocalPathFromUrl(std::string_view url) {
    if (!StartsWithNoCase(url, "file:"))
        return {};
    std::string_view rest = url.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return {};
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
            return {};
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/')
        return {};
    const std::size_t end = rest.find_first_of("?#");
    if (end != std::string_view::npos)
        rest = rest.substr(0, end);
    std::string path;
    path.reserve(rest.size());
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && HexDigit(rest[i + 1]) >= 0 && HexDigit(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char>(HexDigit(rest[i + 1]) * 16 + HexDigit(rest[i + 2])));
            i += 2;
        } else {
            path.push_back(rest[i]);
        }
    }
    if (path.find('\0') != std::string::npos)
        return {};
    return path;
}

bool IsReadableLocalFile(const std::string &path, std::uintmax_t maxBytes) {
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    return S_ISREG(info.st_mode) && info.st_size >= 0 && static_cast<std::uintmax_t>(info.st_size) <= maxBytes;
}

TCleanedTitle CleanBrowserTitle(std::string_view title, std::string_view artist) {
    std::string_view rest = TrimBlanks(title);
    // "(3) " or "(99+) ": the count of unread notifications a site puts in front.
    if (rest.size() > 3 && rest.front() == '(') {
        std::size_t i = 1;
        while (i < rest.size() && i <= 6 && rest[i] >= '0' && rest[i] <= '9')
            ++i;
        const bool digits = i > 1;
        if (i < rest.size() && rest[i] == '+')
            ++i;
        if (digits && i + 1 < rest.size() && rest[i] == ')' && rest[i + 1] == ' ')
            rest = TrimBlanks(rest.substr(i + 2));
    }
    static constexpr std::array<std::string_view, 3> kEndings = {" - YouTube Music", " - YouTube",
                                                                 "_哔哩哔哩_bilibili"};
    for (const std::string_view ending : kEndings) {
        if (EndsWith(rest, ending) && rest.size() > ending.size()) {
            rest = TrimBlanks(rest.substr(0, rest.size() - ending.size()));
            break;
        }
    }
    TCleanedTitle cleaned{std::string(rest), std::string(TrimBlanks(artist))};
    if (cleaned.Artist.empty()) {
        const std::size_t dash = rest.find(" - ");
        if (dash != std::string_view::npos) {
            const std::string_view left = TrimBlanks(rest.substr(0, dash));
            const std::string_view right = TrimBlanks(rest.substr(dash + 3));
            if (!left.empty() && !right.empty()) {
                cleaned.Artist = std::string(left);
                cleaned.Title = std::string(right);
            }
        }
    }
    return cleaned;
}

} // namespace lirvo::follow
