// QQ Music lyric decoding on the input as hex text, and on the input's bytes as the
// ciphertext (through their hex), so that the cipher and zlib see arbitrary blocks too.
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/QqDes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::lyrics::codecs;

    DecryptQqLyric(input);
    DecryptQqLyric(EncodeHexUpper(input));

    // The cipher keeps the length and is a permutation of each block, so a whole number of
    // blocks always decrypts, to as many bytes.
    const std::optional<std::string> plain = DecryptQqTripleDes(input);
    if (plain.has_value() != (size != 0 && size % 8 == 0))
        std::abort();
    if (plain && plain->size() != size)
        std::abort();
    return 0;
}
