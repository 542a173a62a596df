#include "storage/XmlWriter.h"

#include "function/text/TextCodec.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <libxml/tree.h>
#include <string_view>
#include <vector>

namespace lirvo::storage {
namespace {

enum class Mode { Text, Attribute, Strict };

// Names, comments and the like are written as they are; text escapes markup and carriage
// returns; attribute values also quotes, line feeds and tabs (as libxml2 does).
inline bool NeedsEscape(unsigned char b, Mode mode) {
    switch (b) {
    case '<':
    case '>':
    case '&':
    case '\r':
        return mode != Mode::Strict;
    case '"':
    case '\n':
    case '\t':
        return mode == Mode::Attribute;
    default:
        return false;
    }
}

const char *Escape(unsigned char b) {
    switch (b) {
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '&':
        return "&amp;";
    case '\r':
        return "&#13;";
    case '"':
        return "&quot;";
    case '\n':
        return "&#10;";
    case '\t':
        return "&#9;";
    default:
        return "";
    }
}

class Writer {
public:
    explicit Writer(std::string &out) : out_(out) {}

    bool ok = true;
    bool supported = true;

    void Ascii(const char *s) { out_ += s; }
    void Char(char c) { out_.push_back(c); }
    void Indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 2, ' '); }

    // Appends UTF-8 `s` (as libxml2 holds it) converted to GB2312 and escaped for `mode`.
    void Put(const xmlChar *s, Mode mode) {
        if (!s)
            return;
        const unsigned char *p = s;
        for (;;) {
            // Copy the run of ASCII bytes that need no escape in one go.
            const unsigned char *run = p;
            while (*p && *p < 0x80 && !NeedsEscape(*p, mode))
                ++p;
            if (p != run)
                out_.append(reinterpret_cast<const char *>(run), static_cast<std::size_t>(p - run));
            const unsigned char b = *p;
            if (!b)
                return;
            if (b < 0x80) {
                out_ += Escape(b);
                ++p;
                continue;
            }
            // At most one sequence, never past the terminating NUL.
            const char *at = reinterpret_cast<const char *>(p);
            char32_t cp = 0;
            const std::size_t len = text::DecodeUtf8(std::string_view(at, strnlen(at, 4)), 0, cp);
            if (len == 0) {
                supported = false; // libxml2 holds valid UTF-8 only; leave oddities to it
                return;
            }
            p += len;
            const std::uint16_t code = text::Gb2312Code(cp);
            if (code) {
                const char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
                out_.append(pair, 2);
            } else if (mode == Mode::Strict) {
                ok = false;
                return;
            } else {
                char ref[16];
                const int n = std::snprintf(ref, sizeof ref, "&#%u;", static_cast<unsigned>(cp));
                out_.append(ref, static_cast<std::size_t>(n));
            }
        }
    }

    void QualifiedName(xmlNs *ns, const xmlChar *name) {
        if (ns && ns->prefix) {
            Put(ns->prefix, Mode::Strict);
            Char(':');
        }
        Put(name, Mode::Strict);
    }

    void StartTag(xmlNode *node) {
        Char('<');
        QualifiedName(node->ns, node->name);
        for (xmlNs *ns = node->nsDef; ns; ns = ns->next) {
            Ascii(" xmlns");
            if (ns->prefix) {
                Char(':');
                Put(ns->prefix, Mode::Strict);
            }
            Ascii("=\"");
            Put(ns->href, Mode::Attribute);
            Char('"');
        }
        for (xmlAttr *a = node->properties; a; a = a->next) {
            Char(' ');
            QualifiedName(a->ns, a->name);
            Ascii("=\"");
            for (xmlNode *v = a->children; v; v = v->next) {
                if (v->type == XML_TEXT_NODE)
                    Put(v->content, Mode::Attribute);
                else
                    supported = false; // entity references in values: libxml2 knows best
            }
            Char('"');
        }
    }

private:
    std::string &out_;
};

bool IsTextLike(const xmlNode *node) {
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
           node->type == XML_ENTITY_REF_NODE;
}

// An open element: whether its children are laid out on lines of their own (as libxml2 does
// when none of them is text), where its children's output begins, and its first child.
struct Level {
    bool indent;
    std::size_t restart;
    xmlNode *first;
};

} // namespace

XmlWriteResult WriteGb2312Document(xmlDoc *doc, std::string &out) {
    out.clear();
    Writer w(out);
    w.Ascii("<?xml version=\"");
    w.Put(doc->version ? doc->version : reinterpret_cast<const xmlChar *>("1.0"), Mode::Attribute);
    w.Ascii("\" encoding=\"GB2312\"");
    if (doc->standalone == 0)
        w.Ascii(" standalone=\"no\"");
    else if (doc->standalone == 1)
        w.Ascii(" standalone=\"yes\"");
    w.Ascii("?>\n");

    // Depth-first over the tree without recursion. Children are first assumed to be indented;
    // meeting a text child undoes that and writes the siblings again without layout, which
    // saves a separate pass over every list of children (a cache miss per node on big lists).
    std::vector<Level> levels;
    xmlNode *node = doc->children;
    while (node && w.ok && w.supported) {
        if (!levels.empty() && levels.back().indent && IsTextLike(node)) {
            out.resize(levels.back().restart);
            levels.back().indent = false;
            node = levels.back().first;
            continue;
        }
        const int depth = static_cast<int>(levels.size());
        const bool onOwnLine = depth == 0 || levels.back().indent;
        if (onOwnLine && depth > 0)
            w.Indent(depth);
        bool descended = false;
        switch (node->type) {
        case XML_ELEMENT_NODE:
            w.StartTag(node);
            if (node->children) {
                w.Char('>');
                // Layout stops for good below an element whose children are not laid out.
                const bool indent = levels.empty() || levels.back().indent;
                levels.push_back({indent, out.size(), node->children});
                if (indent)
                    w.Char('\n');
                node = node->children;
                descended = true;
            } else {
                w.Ascii("/>");
            }
            break;
        case XML_TEXT_NODE:
            if (node->name && std::strcmp(reinterpret_cast<const char *>(node->name), "textnoenc") == 0) {
                w.supported = false;
                break;
            }
            w.Put(node->content, Mode::Text);
            break;
        case XML_CDATA_SECTION_NODE:
            if (node->content && std::strstr(reinterpret_cast<const char *>(node->content), "]]>")) {
                w.supported = false;
                break;
            }
            w.Ascii("<![CDATA[");
            w.Put(node->content, Mode::Strict);
            w.Ascii("]]>");
            break;
        case XML_COMMENT_NODE:
            w.Ascii("<!--");
            w.Put(node->content, Mode::Strict);
            w.Ascii("-->");
            break;
        case XML_PI_NODE:
            w.Ascii("<?");
            w.Put(node->name, Mode::Strict);
            if (node->content) {
                w.Char(' ');
                w.Put(node->content, Mode::Strict);
            }
            w.Ascii("?>");
            break;
        case XML_ENTITY_REF_NODE:
            w.Char('&');
            w.Put(node->name, Mode::Strict);
            w.Char(';');
            break;
        default:
            w.supported = false; // document type declarations and rarer nodes
            break;
        }
        if (descended)
            continue;
        if (onOwnLine)
            w.Char('\n');
        // Close every element whose last child has just been written.
        while (node && !node->next) {
            node = node->parent;
            if (!node || node->type != XML_ELEMENT_NODE || levels.empty()) {
                node = nullptr;
                break;
            }
            const bool childrenIndented = levels.back().indent;
            levels.pop_back();
            const int closeDepth = static_cast<int>(levels.size());
            const bool closeOnOwnLine = closeDepth == 0 || levels.back().indent;
            if (childrenIndented && closeDepth > 0)
                w.Indent(closeDepth);
            w.Ascii("</");
            w.QualifiedName(node->ns, node->name);
            w.Char('>');
            if (closeOnOwnLine)
                w.Char('\n');
        }
        if (node)
            node = node->next;
    }
    if (!w.supported)
        return XmlWriteResult::Unsupported;
    if (!w.ok)
        return XmlWriteResult::NotEncodable;
    return XmlWriteResult::Written;
}

} // namespace lirvo::storage
