#include "storage/XmlDocument.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "storage/AtomicFile.h"
#include "storage/XmlStoreError.h"
#include "storage/XmlWriter.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>

namespace lirvo::storage {
namespace {

const xmlChar *X(const std::string &s) {
    return reinterpret_cast<const xmlChar *>(s.c_str());
}
const char *C(const xmlChar *s) {
    return reinterpret_cast<const char *>(s);
}

void SetEncodingGb2312(xmlDoc *doc) {
    if (doc->encoding)
        xmlFree(const_cast<xmlChar *>(doc->encoding));
    doc->encoding = xmlStrdup(reinterpret_cast<const xmlChar *>("GB2312"));
    if (!doc->version)
        doc->version = xmlStrdup(reinterpret_cast<const xmlChar *>("1.0"));
}

void RequireName(std::string_view name) {
    const std::string copy(name);
    if (name.empty() || copy.size() != std::strlen(copy.c_str()) || xmlValidateName(X(copy), 0) != 0)
        throw std::invalid_argument("not a valid XML name: \"" + copy + "\"");
}

// The encoding named in the XML declaration, lower-cased; empty when there is none.
std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    const std::string_view decl = bytes.substr(0, bytes.find("?>"));
    const std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos)
        return {};
    std::size_t i = decl.find_first_of("\"'", at);
    if (i == std::string_view::npos)
        return {};
    const char quote = decl[i];
    const std::size_t end = decl.find(quote, i + 1);
    if (end == std::string_view::npos)
        return {};
    return text::AsciiLower(decl.substr(i + 1, end - i - 1));
}

bool StartsWithUtf16(std::string_view bytes) {
    return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF" ||
           (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'));
}

// The encoding to force on the parser, or nullptr to follow the document. Files labelled
// GB2312 are read as GBK, its superset, since Chinese Windows programs write GBK under that
// label; an undeclared document that is not UTF-8 is taken as GBK text.
const char *ParserEncodingForImpl(std::string_view bytes) {
    if (StartsWithUtf16(bytes))
        return nullptr;
    const std::string declared = DeclaredEncoding(bytes);
    if (declared == "gb2312" || declared == "gbk" || declared == "cp936")
        return "GBK";
    if (declared.empty() && !text::IsValidUtf8(bytes))
        return "GBK";
    return nullptr;
}

bool FitsGb2312(const xmlChar *text) {
    if (!text)
        return true;
    const xmlChar *p = text;
    while (*p && *p < 0x80)
        ++p;
    return *p == 0 || text::FitsGb2312(C(text));
}

// Whether every name and every piece of text that cannot hold character references fits GB2312.
bool StrictPartsFitGb2312(xmlDoc *doc) {
    xmlNode *node = doc->children;
    while (node) {
        bool fits = true;
        switch (node->type) {
        case XML_ELEMENT_NODE:
            fits = FitsGb2312(node->name) && (!node->ns || FitsGb2312(node->ns->prefix));
            for (xmlNs *ns = node->nsDef; fits && ns; ns = ns->next)
                fits = FitsGb2312(ns->prefix);
            for (xmlAttr *a = node->properties; fits && a; a = a->next)
                fits = FitsGb2312(a->name) && (!a->ns || FitsGb2312(a->ns->prefix));
            break;
        case XML_TEXT_NODE:
            break; // character references do here
        case XML_COMMENT_NODE:
        case XML_CDATA_SECTION_NODE:
            fits = FitsGb2312(node->content);
            break;
        case XML_PI_NODE:
            fits = FitsGb2312(node->name) && FitsGb2312(node->content);
            break;
        default:
            fits = FitsGb2312(node->name) && FitsGb2312(node->content);
            break;
        }
        if (!fits)
            return false;
        // Depth-first walk without recursion; the document type's children are not elements.
        if (node->type == XML_ELEMENT_NODE && node->children) {
            node = node->children;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            if (node && node->type == XML_DOCUMENT_NODE)
                return true;
        }
        if (node)
            node = node->next;
    }
    return true;
}

} // namespace

XmlErrorCapture::XmlErrorCapture()
    : oldStructuredContext_(xmlStructuredErrorContext), oldStructured_(xmlStructuredError),
      oldGenericContext_(xmlGenericErrorContext), oldGeneric_(xmlGenericError) {
    xmlSetStructuredErrorFunc(this, &XmlErrorCapture::OnStructured);
    xmlSetGenericErrorFunc(this, &XmlErrorCapture::OnGeneric);
}

XmlErrorCapture::~XmlErrorCapture() {
    xmlSetStructuredErrorFunc(oldStructuredContext_, oldStructured_);
    xmlSetGenericErrorFunc(oldGenericContext_, oldGeneric_);
}

void XmlErrorCapture::OnStructured(void *self, xmlErrorPtr error) {
    auto *capture = static_cast<XmlErrorCapture *>(self);
    if (!capture->structured_.empty() || error == nullptr || error->level < XML_ERR_ERROR)
        return;
    std::string text = error->message ? error->message : "unknown XML error";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    capture->structured_ = "line " + std::to_string(error->line) + ": " + text;
}

void XmlErrorCapture::OnGeneric(void *self, const char *format, ...) {
    auto *capture = static_cast<XmlErrorCapture *>(self);
    if (capture->generic_.size() > 512)
        return;
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    capture->generic_ += buffer;
}

std::string XmlErrorCapture::Message() const {
    if (!structured_.empty())
        return structured_;
    std::string first = generic_.substr(0, generic_.find('\n'));
    while (!first.empty() && first.back() == ' ')
        first.pop_back();
    return first;
}

const char *ParserEncodingFor(std::string_view bytes) {
    return ParserEncodingForImpl(bytes);
}

void EnsureXmlLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

bool ReadWholeFile(const std::string &path, std::string &bytes, std::string *error) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (error)
            *error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    bytes.clear();
    struct stat st {};
    if (::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode))
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    const bool failed = std::ferror(file) != 0;
    const int err = errno;
    std::fclose(file);
    if (failed && error)
        *error = std::string("cannot read: ") + std::strerror(err);
    return !failed;
}

std::string XmlSafeText(std::string_view text) {
    // Plain printable ASCII, the usual case, needs no decoding.
    bool plain = true;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain)
        return std::string(text);
    // Valid UTF-8 without forbidden characters, the next most usual case, is kept as it is.
    bool storable = text::IsValidUtf8(text);
    for (std::size_t i = 0; storable && i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20)
            storable = b == '\t' || b == '\n' || b == '\r';
        else if (b == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF)
            storable = static_cast<unsigned char>(text[i + 2]) < 0xBE; // U+FFFE, U+FFFF
    }
    if (storable)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = text::DecodeUtf8(text, i, cp);
        const bool allowed =
            len > 0 && (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') && cp != 0xFFFE && cp != 0xFFFF;
        if (allowed) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            i += len > 0 ? len : 1;
        }
    }
    return out;
}

namespace {
// A new document with a name dictionary, as parsed documents have, so that the names of the
// many elements and attributes the stores add are shared rather than copied one by one.
xmlDoc *NewDocument() {
    xmlDoc *doc = xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0"));
    doc->dict = xmlDictCreate();
    return doc;
}
} // namespace

XmlDocument::XmlDocument(const std::string &rootName) {
    EnsureXmlLibrary();
    doc_ = NewDocument();
    RequireName(rootName);
    xmlNode *root = xmlNewDocNode(doc_, nullptr, X(rootName), nullptr);
    xmlDocSetRootElement(doc_, root);
    SetEncodingGb2312(doc_);
}

XmlDocument::XmlDocument(const std::string &fileName, const std::string &rootName) {
    EnsureXmlLibrary();
    struct stat st {};
    const bool missing =
        fileName.empty() || (::stat(fileName.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR));
    if (!missing && S_ISDIR(st.st_mode))
        throw XmlReadError(fileName + ": is a folder, not a file");
    if (missing) {
        // No file yet: start empty. Nothing is written until the first save.
        doc_ = NewDocument();
        RequireName(rootName);
        xmlDocSetRootElement(doc_, xmlNewDocNode(doc_, nullptr, X(rootName), nullptr));
        SetEncodingGb2312(doc_);
        return;
    }
    std::string bytes;
    std::string readError;
    if (!ReadWholeFile(fileName, bytes, &readError))
        throw XmlReadError(fileName + ": " + readError);
    sizeHint_ = bytes.size();
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw XmlParseError(fileName + ": too large for a settings or playlist file");

    XmlErrorCapture capture;
    // Blank text between elements is dropped so that saving can indent the whole tree; no
    // network access and no external entities, since the file is outside input.
    const char *forced = ParserEncodingFor(bytes);
    doc_ = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), fileName.c_str(), forced,
                         XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_COMPACT |
                             (forced ? XML_PARSE_IGNORE_ENC : 0));
    if (!doc_ || !xmlDocGetRootElement(doc_)) {
        if (doc_)
            xmlFreeDoc(doc_);
        doc_ = nullptr;
        throw XmlParseError(
            fileName + ": " +
            (capture.Message().empty() ? std::string("not a well-formed XML document") : capture.Message()));
    }
    SetEncodingGb2312(doc_);
}

XmlDocument::~XmlDocument() {
    if (doc_)
        xmlFreeDoc(doc_);
}

xmlNode *XmlDocument::Root() const {
    return xmlDocGetRootElement(doc_);
}

xmlNode *XmlDocument::FirstChild(xmlNode *parent, std::string_view name) {
    if (!parent)
        return nullptr;
    for (xmlNode *child = parent->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        const std::string_view local = C(child->name);
        if (local == name)
            return child;
        if (child->ns && child->ns->prefix) {
            const std::string_view prefix = C(child->ns->prefix);
            if (name.size() == prefix.size() + 1 + local.size() && name.substr(0, prefix.size()) == prefix &&
                name[prefix.size()] == ':' && name.substr(prefix.size() + 1) == local)
                return child;
        }
    }
    return nullptr;
}

xmlNode *XmlDocument::AppendChild(xmlNode *parent, std::string_view name) {
    RequireName(name);
    xmlNode *node = xmlNewDocNode(doc_, nullptr, X(std::string(name)), nullptr);
    return xmlAddChild(parent, node);
}

std::string XmlDocument::Attribute(xmlNode *node, std::string_view name, bool *found) {
    if (found)
        *found = false;
    if (!node)
        return {};
    const std::string key(name);
    // The attribute without a namespace, the same one xmlSetProp writes.
    xmlAttr *attr = xmlHasNsProp(node, X(key), nullptr);
    if (!attr || attr->type != XML_ATTRIBUTE_NODE)
        return {};
    if (found)
        *found = true;
    xmlNode *only = attr->children;
    if (!only)
        return {};
    if (!only->next && only->type == XML_TEXT_NODE) // the usual shape: one text child
        return only->content ? C(only->content) : "";
    xmlChar *value = xmlNodeListGetString(node->doc, attr->children, 1);
    std::string result = value ? C(value) : "";
    xmlFree(value);
    return result;
}

void XmlDocument::SetAttribute(xmlNode *node, std::string_view name, std::string_view value) {
    RequireName(name);
    xmlSetProp(node, X(std::string(name)), X(XmlSafeText(value)));
}

std::string XmlDocument::Text(xmlNode *node) {
    xmlChar *content = xmlNodeGetContent(node);
    std::string result = content ? C(content) : "";
    xmlFree(content);
    return result;
}

void XmlDocument::RemoveChildren(xmlNode *node) {
    xmlNode *child = node->children;
    while (child) {
        xmlNode *next = child->next;
        xmlUnlinkNode(child);
        xmlFreeNode(child);
        child = next;
    }
}

void XmlDocument::SetText(xmlNode *node, std::string_view text) {
    RemoveChildren(node);
    xmlAddChild(node, xmlNewDocText(doc_, X(XmlSafeText(text))));
}

std::string XmlDocument::Serialize() const {
    std::string out;
    out.reserve(sizeHint_ + sizeHint_ / 8 + 4096);
    switch (WriteGb2312Document(doc_, out)) {
    case XmlWriteResult::Written:
        return out;
    case XmlWriteResult::NotEncodable:
        return SerializeWithLibrary("UTF-8");
    case XmlWriteResult::Unsupported:
        break;
    }
    // libxml2's GB2312 encoder writes ・ and ― with codes our GBK reader takes for · and —;
    // such documents are written as UTF-8 instead.
    if (StrictPartsFitGb2312(doc_)) {
        std::string utf8 = SerializeWithLibrary("UTF-8");
        if (text::HasGb2312Ambiguity(utf8))
            return utf8;
        return SerializeWithLibrary("GB2312");
    }
    return SerializeWithLibrary("UTF-8");
}

std::string XmlDocument::SerializeWithLibrary(const char *encoding) const {
    xmlChar *memory = nullptr;
    int size = 0;
    XmlErrorCapture capture;
    xmlDocDumpFormatMemoryEnc(doc_, &memory, &size, encoding, 1);
    if (!memory)
        throw XmlSaveError("cannot serialise the document: " + capture.Message());
    std::string result(C(memory), static_cast<std::size_t>(size));
    xmlFree(memory);
    return result;
}

void XmlDocument::SaveTo(const std::string &fileName) const {
    const std::string data = Serialize();
    std::string error;
    if (!WriteFileAtomically(fileName, data, &error))
        throw XmlSaveError(error);
}

RecoveredDocument OpenDocumentRecovering(const std::string &fileName, const std::string &rootName, OpenNote *note) {
    if (note)
        *note = {};
    try {
        return {std::make_unique<XmlDocument>(fileName, rootName), fileName};
    } catch (const XmlReadError &e) {
        if (note) {
            note->problem = e.what();
            note->unreadable = true;
        }
        return {std::make_unique<XmlDocument>(rootName), std::string()};
    } catch (const XmlParseError &e) {
        if (note)
            note->problem = e.what();
        auto copy = SetAsideBadFile(fileName);
        if (note && copy)
            note->setAside = *copy;
        // Still in place when it could not be moved: keep it rather than write over it.
        return {std::make_unique<XmlDocument>(rootName), copy ? fileName : std::string()};
    }
}

} // namespace lirvo::storage
