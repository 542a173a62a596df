#pragma once
// TDKConfig: a short-lived store over an XML settings file such as DataDir + "Lirvo.xml".
//
// A setting is addressed by an element path below the root element ("Window/PLAY") and an
// attribute name ("PATTERN"); its value is the attribute's text. Each path component matches
// the FIRST child element of that name, case-sensitively; writes append missing elements as
// last children and never remove anything, so unknown content of a loaded file survives.
//
// Values are UTF-8 at this interface. The file is written declaring and using GB2312;
// characters GB2312 lacks are written as character references, so nothing is lost. A file in
// another declared encoding is read correctly and written back as GB2312.
//
// Typical use, on the main thread:
//
//     lirvo::storage::TDKConfig config(dataDir + "Lirvo.xml", "MainConfig");
//     int volume = config.ReadInteger("Window/Volume", "Value", 100);
//     config.WriteString("Network/LYRICS", "URL", url);
//     config.Save(); // throws XmlSaveError on failure; the destructor also saves, quietly
//
// Nothing touches the disk until Save() (or destruction) with something written. Saving
// replaces the file atomically (temporary file in the same folder, flushed, renamed).

#include "storage/XmlStoreError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lirvo::storage {

class XmlDocument;
struct RecoveredDocument;

class TDKConfig {
public:
    // Loads `fileName` when it exists (its root element is used whatever its name), otherwise
    // starts an empty document whose root element is `rootName`. Writes nothing.
    // Throws XmlParseError (with the parser's message) when the file is not well-formed.
    TDKConfig(std::string fileName, std::string rootName);

    // Like the constructor, but never throws for the file: one that is not well-formed is
    // first set aside (SetAsideBadFile) and the store starts empty; one that cannot be read is
    // left alone and the store starts empty and never writes. `note`, when given, says which
    // happened. For start-up, where a broken file must not stop the program and must not be
    // overwritten unseen.
    static std::unique_ptr<TDKConfig> OpenRecovering(const std::string &fileName, const std::string &rootName,
                                                     OpenNote *note = nullptr);

    // Saves when modified; a failure here is swallowed (destructors must not throw), so call
    // Save() first wherever the caller needs to know.
    ~TDKConfig();

    TDKConfig(const TDKConfig &) = delete;
    TDKConfig &operator=(const TDKConfig &) = delete;

    // Writes the whole document when Modified() and the file name is not empty, then clears
    // Modified(). Throws XmlSaveError on failure; Modified() then stays set.
    void Save();

    bool Modified() const { return modified_; }
    const std::string &FileName() const { return fileName_; }

    // Empty `attribute` addresses the element's own text instead (then the default is not
    // applied to an empty text). Reads never create anything; absent or empty values give
    // the default.
    std::string ReadString(std::string_view path, std::string_view attribute,
                           std::string_view defaultValue) const;
    // Decimal 32-bit signed; empty, non-numeric or out-of-range text gives the default.
    std::int32_t ReadInteger(std::string_view path, std::string_view attribute,
                             std::int32_t defaultValue) const;
    // Stored as "1"/"0"; true when the low 8 bits of the integer read are not all zero.
    bool ReadBool(std::string_view path, std::string_view attribute, bool defaultValue) const;

    // Each write sets Modified(), even when the value is unchanged. A path component or
    // attribute name that is not a valid XML name throws std::invalid_argument.
    void WriteString(std::string_view path, std::string_view attribute, std::string_view value);
    void WriteInteger(std::string_view path, std::string_view attribute, std::int32_t value);
    void WriteBool(std::string_view path, std::string_view attribute, bool value);

    // Whether the element path exists (does not create it).
    bool HasNode(std::string_view path) const;

private:
    explicit TDKConfig(RecoveredDocument opened);

    std::string fileName_;
    bool modified_ = false;
    std::unique_ptr<XmlDocument> document_;
};

} // namespace lirvo::storage
