#pragma once
// The libxml2 document shared by the settings and playlist stores: loading with the parser's
// message on failure, element lookup by first match, GB2312 output, atomic saving.
// Internal to the storage library; other subsystems use TDKConfig and TDKPlist.

#include <libxml/xmlerror.h>
#include <memory>
#include <string>
#include <string_view>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;

namespace lirvo::storage {

// Initialises libxml2 once per process (safe to call from any thread, any number of times).
void EnsureXmlLibrary();

// Collects libxml2's messages on this thread for as long as it lives, instead of letting the
// library print them; Message() is the first error, "line N: text" when the line is known.
class XmlErrorCapture {
public:
    XmlErrorCapture();
    ~XmlErrorCapture();
    XmlErrorCapture(const XmlErrorCapture &) = delete;
    XmlErrorCapture &operator=(const XmlErrorCapture &) = delete;
    std::string Message() const;

private:
    static void OnStructured(void *self, xmlErrorPtr error);
    static void OnGeneric(void *self, const char *format, ...);
    void *oldStructuredContext_;
    xmlStructuredErrorFunc oldStructured_;
    void *oldGenericContext_;
    xmlGenericErrorFunc oldGeneric_;
    std::string structured_;
    std::string generic_;
};

// Reads a whole file; false with a reason (system error text) when it cannot be read.
bool ReadWholeFile(const std::string &path, std::string &bytes, std::string *error = nullptr);

// `text` made storable in XML: invalid UTF-8 bytes and characters XML 1.0 cannot hold (control
// characters other than tab, line feed and carriage return; U+FFFE, U+FFFF) become U+FFFD.
std::string XmlSafeText(std::string_view text);

// The encoding to force on libxml2 for these bytes, or nullptr to follow the document: files
// labelled GB2312 are read as GBK, its superset, because Chinese Windows programs write GBK
// under that label; an undeclared document that is not UTF-8 is taken as GBK text.
const char *ParserEncodingFor(std::string_view bytes);

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
    // Value of an attribute; `found` (when given) is false when the attribute is absent.
    static std::string Attribute(xmlNode *node, std::string_view name, bool *found = nullptr);
    // Sets (or creates, appended after the others) an attribute; validates the name and makes
    // the value XmlSafeText.
    static void SetAttribute(xmlNode *node, std::string_view name, std::string_view value);
    static std::string Text(xmlNode *node);
    // Replaces the element's children by one text node (XmlSafeText of `text`).
    void SetText(xmlNode *node, std::string_view text);
    // Removes every child node of `node`.
    static void RemoveChildren(xmlNode *node);

    // The whole document serialised, declaring and using GB2312; characters GB2312 lacks become
    // character references. Where those cannot stand (in names, comments, CDATA sections or
    // processing instructions of a loaded file) the document is written as UTF-8 instead, so that
    // nothing is lost and the file stays well-formed.
    std::string Serialize() const;
    // The document as libxml2's own serialiser writes it in `encoding` (indented).
    std::string SerializeWithLibrary(const char *encoding) const;
    // The underlying libxml2 document, for tests and fuzzing.
    xmlDoc *Document() const { return doc_; }
    // Serialize() written atomically to `fileName`; throws XmlSaveError.
    void SaveTo(const std::string &fileName) const;

private:
    xmlDoc *doc_ = nullptr;
    // Size of the file loaded, used to size the output buffer in one step: growing a
    // megabyte buffer piecemeal after freeing thousands of nodes costs more than writing it.
    std::size_t sizeHint_ = 0;
};

struct OpenNote;

// A store's document opened so that nothing the user has is lost: a file that is not
// well-formed is set aside (SetAsideBadFile) and the document starts empty; one that cannot be
// read, or a broken one that could not be moved, is left as it is and `savePath` is empty, so the
// store never writes over it.
struct RecoveredDocument {
    std::unique_ptr<XmlDocument> document;
    std::string savePath;
};
RecoveredDocument OpenDocumentRecovering(const std::string &fileName, const std::string &rootName, OpenNote *note);

} // namespace lirvo::storage
