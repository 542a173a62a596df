#pragma once
// Reads a written XML file back into a plain tree, so that tests check the file's shape and
// values by structure rather than by comparing whole strings.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lirvo::testing {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes; // in file order
    std::vector<XmlElement> children;                            // elements only
    std::string text;                                            // concatenated text children

    const XmlElement *Child(const std::string &childName) const {
        for (const auto &c : children)
            if (c.name == childName)
                return &c;
        return nullptr;
    }
    int CountChildren(const std::string &childName) const {
        int n = 0;
        for (const auto &c : children)
            n += c.name == childName;
        return n;
    }
    std::optional<std::string> Attr(const std::string &attrName) const {
        for (const auto &[k, v] : attributes)
            if (k == attrName)
                return v;
        return std::nullopt;
    }
    std::vector<std::string> AttributeNames() const {
        std::vector<std::string> names;
        for (const auto &a : attributes)
            names.push_back(a.first);
        return names;
    }
};

struct XmlFile {
    std::string declaredEncoding; // from the document, as the parser saw it
    std::string version;
    XmlElement root;
};

inline XmlElement ConvertElement(xmlNode *node) {
    XmlElement e;
    e.name = reinterpret_cast<const char *>(node->name);
    for (xmlAttr *a = node->properties; a; a = a->next) {
        xmlChar *v = xmlNodeListGetString(node->doc, a->children, 1);
        e.attributes.emplace_back(reinterpret_cast<const char *>(a->name),
                                  v ? reinterpret_cast<const char *>(v) : "");
        xmlFree(v);
    }
    for (xmlNode *c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE) {
            e.children.push_back(ConvertElement(c));
        } else if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            if (!xmlIsBlankNode(c))
                e.text += reinterpret_cast<const char *>(c->content);
        }
    }
    return e;
}

// nullopt when the file is missing or not well-formed.
inline std::optional<XmlFile> ReadXmlFile(const std::string &path) {
    xmlDoc *doc =
        xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return std::nullopt;
    XmlFile file;
    file.declaredEncoding = doc->encoding ? reinterpret_cast<const char *>(doc->encoding) : "";
    file.version = doc->version ? reinterpret_cast<const char *>(doc->version) : "";
    if (xmlNode *root = xmlDocGetRootElement(doc))
        file.root = ConvertElement(root);
    xmlFreeDoc(doc);
    return file;
}

} // namespace lirvo::testing
