#pragma once
// Conversions between the host's ByteReader and the add-on interface's reader record.

#include "audio/lib/AddonAbi.h"
#include "audio/lib/ByteReader.h"

#include <memory>

namespace lirvo::audio {

// A reader record that forwards to `reader` (which must outlive the record's use).
LirvoAddonReader MakeAddonReader(ByteReader &reader, bool progressive);

// A ByteReader over a reader record given by the host (used inside add-ons).
class AddonReaderAdapter final : public ByteReader {
public:
    explicit AddonReaderAdapter(const LirvoAddonReader &reader) : reader_(reader) {}
    int64_t Read(uint8_t *buffer, int64_t size) override {
        return reader_.read(reader_.context, buffer, size);
    }
    bool Seek(int64_t offset) override { return reader_.seek(reader_.context, offset) != 0; }
    int64_t Tell() const override { return reader_.tell(reader_.context); }
    int64_t Size() const override { return reader_.size(reader_.context); }

private:
    LirvoAddonReader reader_;
};

} // namespace lirvo::audio
