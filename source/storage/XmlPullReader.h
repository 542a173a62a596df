#pragma once
// A streaming reader for small XML documents (preset files, update descriptions) that yields,
// in document order, start tags with their attributes, end tags and text. Names keep their
// spelling and also come lower-cased for case-insensitive matching; attribute lookup is
// case-sensitive. All text is UTF-8: the document's declared encoding is honoured, and a
// document without an encoding declaration whose bytes are not valid UTF-8 is read as GBK.
//
// Malformed input ends the scan: Next() returns false, Failed() is true and Error() holds the
// parser's message. Every part read before that point was delivered and stays valid.
//
//     XmlPullReader reader = XmlPullReader::FromFile(appDir + "effect.dat");
//     while (reader.Next()) {
//         const XmlPart &part = reader.Part();
//         if (part.lowerName == "eq") names.push_back(part.Attribute("name"));
//     }
//
// A reader is used by one thread at a time; separate readers may run on separate threads.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lirvo::storage {

enum class XmlPartKind {
    StartTag, // also an empty element such as <eq ... />, with `selfClosing` set
    EndTag,   // a separate end tag; carries the name and no attributes
    Text,     // character data and CDATA sections (whitespace-only text between tags is skipped)
};

struct XmlPart {
    XmlPartKind kind = XmlPartKind::Text;
    std::string name;      // qualified name as written ("eq", "x:ver"); empty for text
    std::string lowerName; // `name` with ASCII letters lower-cased
    std::vector<std::pair<std::string, std::string>> attributes; // in document order, values decoded
    std::string text;                                            // the text of a Text part
    bool selfClosing = false;

    // Value of the attribute with exactly this name; empty when absent.
    std::string Attribute(std::string_view attributeName) const;
    bool HasAttribute(std::string_view attributeName) const;
};

class XmlPullReader {
public:
    // Reads the document from memory (the bytes are copied) or from a file. A file that cannot
    // be opened gives a reader that yields nothing and reports the failure through Error().
    static XmlPullReader FromText(std::string_view document);
    static XmlPullReader FromFile(const std::string &path);

    XmlPullReader(XmlPullReader &&) noexcept;
    XmlPullReader &operator=(XmlPullReader &&) noexcept;
    ~XmlPullReader();

    // Advances to the next part; false at the end of the document or after an error.
    bool Next();
    // The part reached by the last successful Next().
    const XmlPart &Part() const;

    bool Failed() const;
    const std::string &Error() const;

private:
    struct State;
    explicit XmlPullReader(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// Convenience: every part of a document, plus the error that ended the scan (empty if none).
struct XmlScan {
    std::vector<XmlPart> parts;
    std::string error;
};
XmlScan ScanXmlText(std::string_view document);
XmlScan ScanXmlFile(const std::string &path);

} // namespace lirvo::storage
