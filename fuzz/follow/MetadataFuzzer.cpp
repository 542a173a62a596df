// Metadata maps as any sender could shape them: the input is read as a small program that
// builds a QVariantMap (keys, value types, nesting in variants and lists, texts as UTF-16 units
// or raw bytes), which goes through the metadata reader; the texts also go through the
// browser-title cleaner and the file address reader.
#include "follow/FollowMetadata.h"

#include "function/text/TextCodec.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace lirvo::follow;

class Reader {
public:
    Reader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string Bytes() {
        const size_t wanted = Byte();
        const size_t length = std::min(wanted, size_ - std::min(at_, size_));
        std::string bytes(reinterpret_cast<const char *>(data_ + at_), length);
        at_ += length;
        return bytes;
    }
    uint64_t Number() {
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = value << 8 | Byte();
        return value;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

constexpr const char *kKeys[] = {"mpris:trackid", "xesam:title", "xesam:artist", "xesam:album",
                                 "mpris:length",  "xesam:url",   "xesam:asText", "mpris:artUrl"};

QVariant Value(Reader &in, int depth);

// Texts from bytes: as UTF-8 (Qt replaces what is broken) or as UTF-16 units, lone
// surrogates included.
QString Text(Reader &in) {
    const std::string bytes = in.Bytes();
    if (!bytes.empty() && (static_cast<uint8_t>(bytes[0]) & 1)) {
        QString units;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            units.append(QChar(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) << 8 | static_cast<uint8_t>(bytes[i + 1]))));
        return units;
    }
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QVariant Value(Reader &in, int depth) {
    const uint8_t type = in.Byte();
    switch (depth > 12 ? type % 9 : type % 12) {
    case 0:
        return Text(in);
    case 1: {
        const std::string bytes = in.Bytes();
        return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    case 2: {
        QStringList list;
        for (int n = in.Byte() % 5; n > 0; --n)
            list << Text(in);
        return list;
    }
    case 3:
        return QVariant::fromValue(static_cast<qlonglong>(in.Number()));
    case 4:
        return QVariant::fromValue(static_cast<qulonglong>(in.Number()));
    case 5: {
        const uint64_t bits = in.Number();
        double number;
        std::memcpy(&number, &bits, sizeof number);
        return number;
    }
    case 6:
        return static_cast<int>(in.Number());
    case 7: {
        // Object paths are checked by the bus; only valid ones arrive.
        QString path = QStringLiteral("/");
        for (const QChar c : Text(in))
            if (c.isLetterOrNumber() && c.unicode() < 128)
                path += c;
        return QVariant::fromValue(QDBusObjectPath(path));
    }
    case 8:
        return QVariant();
    case 9:
        return QVariant::fromValue(QDBusVariant(Value(in, depth + 1)));
    case 10: {
        QVariantList list;
        for (int n = in.Byte() % 4; n > 0; --n)
            list << Value(in, depth + 1);
        return list;
    }
    default: {
        QVariantMap map;
        for (int n = in.Byte() % 4; n > 0; --n)
            map.insert(Text(in), Value(in, depth + 1));
        return map;
    }
    }
}

// A broken promise ends the run with the condition named.
#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "broken: %s\n", #condition);                                                \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader in(data, size);
    QVariantMap map;
    while (!in.AtEnd() && map.size() < 16) {
        const uint8_t key = in.Byte();
        const QString name = key < 200 ? QString::fromLatin1(kKeys[key % 8]) : Text(in);
        map.insert(name, Value(in, 0));
    }
    const TFollowedTrack track = ReadMetadata(map);
    // The reader's promises: valid UTF-8 within the limits, a local path only for file:// addresses.
    for (const std::string *text : {&track.TrackId, &track.Title, &track.Artist, &track.Album, &track.Url})
        CHECK(lirvo::text::IsValidUtf8(*text) && text->size() <= kMaxFieldBytes);
    CHECK(lirvo::text::IsValidUtf8(track.LyricText) && track.LyricText.size() <= kMaxLyricTextBytes);
    CHECK(track.LengthMs == -1 || track.LengthMs > 0);
    CHECK(track.LocalPath.empty() || (track.LocalPath[0] == '/' && track.LocalPath.find('\0') == std::string::npos));
    MapFromBusValue(QVariant::fromValue(QDBusVariant(QVariant(map))));

    const TCleanedTitle cleaned = CleanBrowserTitle(track.Title, track.Artist);
    CHECK(lirvo::text::IsValidUtf8(cleaned.Title) && lirvo::text::IsValidUtf8(cleaned.Artist));
    const std::string_view raw(reinterpret_cast<const char *>(data), size);
    CleanBrowserTitle(raw, raw.substr(0, size / 3));
    const std::string path = LocalPathFromUrl(raw);
    CHECK(path.empty() || path[0] == '/');
    return 0;
}
