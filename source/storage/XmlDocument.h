#pragma once
// The libxml2 document shared by the settings and playlist stores: loading with the parser's
// message on failure, element lookup by first match, GB2312 output, atomic saving.
// Internal to the storage library; other subsystems use TDKConfig and TDKPlist.

#include <string>
#include <string_view>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;

namespace lirvo::storage {

class XmlDocument {
public:
    // Parses `fileName` when it exists, else makes a document with root element `rootName`.
    // Throws XmlParseError when the file cannot be read or is not well-formed.
    XmlDocument(const std::string &fileName, const std::string &rootName);
    // An empty document with root element `rootName`.
    explicit XmlDocument(const std::string &rootName);
    ~XmlDocument();
    XmlDocument(const XmlDocument &) = delete;
    XmlDocument &operator=(const XmlDocument &) = delete;

    xmlNode *Root() const;

    // First child element of `parent` whose qualified or local name is exactly `name`.
    static xmlNode *FirstChild(xmlNode *parent, std::string_view name);
    // Appends a new element `name` as the last child; throws std::invalid_argument for a name
    // that is not a valid XML name.
    xmlNode *AppendChild(xmlNode *parent, std::string_view name);
    // Value of an attribute; nullopt-like: `found` false when absent.
    static std::string Attribute(xmlNode *node, std::string_view name, bool *found = nullptr);
    // Sets (or creates, appended after the others) an attribute; validates the name.
    static void SetAttribute(xmlNode *node, std::string_view name, std::string_view value);
    static std::string Text(xmlNode *node);
    void SetText(xmlNode *node, std::string_view text);

    // The whole document serialised, declaring and using GB2312.
    std::string Serialize() const;
    // Serialize() written atomically to `fileName`; throws XmlSaveError.
    void SaveTo(const std::string &fileName) const;

private:
    xmlDoc *doc_ = nullptr;
};

} // namespace lirvo::storage
