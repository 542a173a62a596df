#include "storage/UDDPlayerlist.h"

#include "storage/AtomicFile.h"
#include "storage/XmlDocument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <libxml/tree.h>

namespace lirvo::storage {
namespace {

// Ltime as the file holds it; a missing or unreadable value counts as 0 so that one damaged
// entry cannot stop the whole list from loading. A decimal comma is accepted as well.
double ParseLtime(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    const char *begin = text.data();
    const char *end = begin + text.size();
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    if (begin < end && *begin == '+')
        ++begin;
    double value = 0;
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop != end || !std::isfinite(value))
        return 0;
    return value;
}

std::string FormatLtime(double value) {
    if (!std::isfinite(value) || value == 0)
        return "0";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : "0";
}

} // namespace

TDKPlist::TDKPlist(std::string fileName, std::string rootName)
    : fileName_(std::move(fileName)), document_(std::make_unique<XmlDocument>(fileName_, rootName)) {}

TDKPlist::TDKPlist(RecoveredDocument opened)
    : fileName_(std::move(opened.savePath)), document_(std::move(opened.document)) {}

std::unique_ptr<TDKPlist> TDKPlist::OpenRecovering(const std::string &fileName, const std::string &rootName,
                                                   OpenNote *note) {
    return std::unique_ptr<TDKPlist>(new TDKPlist(OpenDocumentRecovering(fileName, rootName, note)));
}

TDKPlist::~TDKPlist() {
    try {
        Save();
    } catch (...) {
        // A destructor must not throw; callers that need the outcome call Save() themselves.
    }
    FreeRecycled();
}

void TDKPlist::FreeRecycled() {
    if (recycled_)
        xmlFreeNodeList(recycled_);
    recycled_ = nullptr;
    recycledParent_ = nullptr;
}

// The next entry element ClearList took from `parent`, when it is a plain empty element named
// `name`; others on the way are freed. Null when none is left.
xmlNode *TDKPlist::TakeRecycled(xmlNode *parent, std::string_view name) {
    if (parent != recycledParent_)
        return nullptr;
    while (recycled_) {
        xmlNode *node = recycled_;
        recycled_ = node->next;
        if (recycled_)
            recycled_->prev = nullptr;
        node->next = nullptr;
        node->prev = nullptr;
        node->parent = nullptr;
        if (node->type == XML_ELEMENT_NODE && !node->ns && !node->nsDef && !node->children &&
            name == reinterpret_cast<const char *>(node->name))
            return xmlAddChild(parent, node);
        xmlFreeNode(node);
    }
    return nullptr;
}

void TDKPlist::Save() {
    if (!modified_ || fileName_.empty())
        return;
    document_->SaveTo(fileName_);
    modified_ = false;
}

const TPList *TDKPlist::Entry(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return &entries_[static_cast<std::size_t>(index)];
}

namespace {

constexpr const char *kEntryAttributes[] = {"Path", "Title", "Artist", "Url", "Ltime"};

// Gives an entry element exactly the five attributes, in order, with these values. A reused
// element that already has them keeps its nodes and only changed texts are replaced.
void SetEntryAttributes(xmlNode *entry, const std::string_view (&values)[5]) {
    bool sameShape = true;
    xmlAttr *attr = entry->properties;
    for (const char *name : kEntryAttributes) {
        if (!attr || attr->ns || std::strcmp(reinterpret_cast<const char *>(attr->name), name) != 0 ||
            !attr->children || attr->children->next || attr->children->type != XML_TEXT_NODE) {
            sameShape = false;
            break;
        }
        attr = attr->next;
    }
    if (sameShape && !attr) {
        attr = entry->properties;
        for (const std::string_view value : values) {
            // What a loaded file holds is always storable, so an equal value needs no cleaning.
            xmlNode *text = attr->children;
            const std::string_view old = text->content ? reinterpret_cast<const char *>(text->content) : "";
            if (old != value) {
                const std::string safe = XmlSafeText(value);
                if (old != safe)
                    xmlNodeSetContent(text, reinterpret_cast<const xmlChar *>(safe.c_str()));
            }
            attr = attr->next;
        }
        return;
    }
    if (entry->properties) {
        xmlFreePropList(entry->properties);
        entry->properties = nullptr;
    }
    for (std::size_t i = 0; i < 5; ++i)
        xmlNewProp(entry, reinterpret_cast<const xmlChar *>(kEntryAttributes[i]),
                   reinterpret_cast<const xmlChar *>(XmlSafeText(values[i]).c_str()));
}

} // namespace

void TDKPlist::AddEntry(std::string_view listPath, std::string_view title, std::string_view artist,
                        std::string_view url, std::string_view path, double ltime) {
    // Every name but the last is found or made; the last is always appended anew.
    xmlNode *current = document_->Root();
    for (;;) {
        const std::size_t slash = listPath.find('/');
        const std::string_view name = listPath.substr(0, slash);
        if (slash == std::string_view::npos) {
            xmlNode *reused = TakeRecycled(current, name);
            current = reused ? reused : document_->AppendChild(current, name);
            break;
        }
        xmlNode *next = XmlDocument::FirstChild(current, name);
        current = next ? next : document_->AppendChild(current, name);
        listPath.remove_prefix(slash + 1);
    }
    const std::string ltimeText = FormatLtime(ltime);
    const std::string_view values[5] = {path, title, artist, url, ltimeText};
    SetEntryAttributes(current, values);
    modified_ = true;
}

void TDKPlist::ClearList(std::string_view listName) {
    if (xmlNode *list = XmlDocument::FirstChild(document_->Root(), listName)) {
        FreeRecycled();
        recycled_ = list->children;
        recycledParent_ = list;
        list->children = nullptr;
        list->last = nullptr;
    }
    modified_ = true;
}

void TDKPlist::LoadList(std::string_view listName) {
    xmlNode *list = XmlDocument::FirstChild(document_->Root(), listName);
    if (!list)
        return;
    for (xmlNode *child = list->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        TPList entry;
        entry.Title = XmlDocument::Attribute(child, "Title");
        entry.Artist = XmlDocument::Attribute(child, "Artist");
        entry.Url = XmlDocument::Attribute(child, "Url");
        entry.Path = XmlDocument::Attribute(child, "Path");
        entry.Ltime = ParseLtime(XmlDocument::Attribute(child, "Ltime"));
        entries_.push_back(std::move(entry));
    }
}

} // namespace lirvo::storage
