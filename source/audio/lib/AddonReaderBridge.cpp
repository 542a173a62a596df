#include "audio/lib/AddonReaderBridge.h"

namespace lirvo::audio {

LirvoAddonReader MakeAddonReader(ByteReader &reader, bool progressive) {
    LirvoAddonReader record{};
    record.context = &reader;
    record.read = [](void *context, void *buffer, int64_t size) -> int64_t {
        return static_cast<ByteReader *>(context)->Read(static_cast<uint8_t *>(buffer), size);
    };
    record.seek = [](void *context, int64_t offset) -> int {
        return static_cast<ByteReader *>(context)->Seek(offset) ? 1 : 0;
    };
    record.tell = [](void *context) -> int64_t { return static_cast<ByteReader *>(context)->Tell(); };
    record.size = [](void *context) -> int64_t { return static_cast<ByteReader *>(context)->Size(); };
    record.progressive = progressive ? 1 : 0;
    return record;
}

} // namespace lirvo::audio
