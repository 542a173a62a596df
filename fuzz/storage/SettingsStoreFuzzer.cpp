// Loads arbitrary bytes as a settings file, reads and writes through the store, saves, and
// checks that whatever was saved loads again with the values written.

#include "FuzzScratch.h"
#include "storage/UDDXMLCFG.h"
#include "storage/XmlDocument.h"
#include "storage/XmlWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using lirvo::storage::TDKConfig;

namespace {
[[noreturn]] void Fault(const char *what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = lirvo::fuzzing::ScratchFolder() + "Lirvo.xml";
    lirvo::fuzzing::WriteBytes(path, data, size);
    const std::string input(reinterpret_cast<const char *>(data), size);
    // A value taken from the input itself, so that odd bytes reach the writer too.
    const std::string value = input.substr(input.size() / 2, 48);

    // Our GB2312 writer must produce exactly what libxml2's serialiser produces. (Namespace
    // declarations are left out of the comparison: libxml2 writes their values unescaped.)
    bool comparable = input.find("xmlns") == std::string::npos;
    try {
        lirvo::storage::XmlDocument document(path, "MainConfig");
        // "・" (U+30FB) and "―" (U+2015) are written as references on purpose: libxml2's
        // GB2312 codes for them read back as other characters. Documents holding them differ.
        const std::string text = document.SerializeWithLibrary("UTF-8");
        if (text.find("\xE3\x83\xBB") != std::string::npos || text.find("\xE2\x80\x95") != std::string::npos)
            comparable = false;
        std::string ours;
        if (comparable &&
            lirvo::storage::WriteGb2312Document(document.Document(), ours) ==
                lirvo::storage::XmlWriteResult::Written &&
            ours != document.SerializeWithLibrary("GB2312"))
            Fault("the GB2312 writer differs from libxml2's output");
    } catch (const lirvo::storage::XmlParseError &) {
        return 0; // not well-formed: refused, as it should be
    }

    std::unique_ptr<TDKConfig> config;
    try {
        config = std::make_unique<TDKConfig>(path, "MainConfig");
    } catch (const lirvo::storage::XmlParseError &) {
        return 0; // not well-formed: refused, as it should be
    }
    const std::string volume = config->ReadString("Window/Volume", "Value", "100");
    (void)config->ReadInteger("Window/PLAY", "PATTERN", 0);
    (void)config->ReadBool("Window/DESKTOPLRC", "SHOW", true);
    (void)config->ReadString("Window", "", "");
    config->WriteString("Window/LRC", "PATH", value);
    config->WriteInteger("Network/LYRICS", "PORT", static_cast<int>(size));
    config->Save();
    config.reset();

    // Anything the store saved must load again (an exception here ends the run as a fault).
    TDKConfig again(path, "MainConfig");
    const std::string expected = lirvo::storage::XmlSafeText(value);
    if (again.ReadString("Window/LRC", "PATH", "") != expected)
        Fault("a written value did not survive a save and load");
    if (again.ReadString("Window/Volume", "Value", "100") != volume)
        Fault("an untouched value changed across a save and load");
    if (again.ReadInteger("Network/LYRICS", "PORT", -1) != static_cast<int>(size))
        Fault("an integer did not survive a save and load");
    return 0;
}
