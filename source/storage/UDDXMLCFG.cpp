#include "storage/UDDXMLCFG.h"

#include "function/text/FastStrings.h"
#include "storage/AtomicFile.h"
#include "storage/XmlDocument.h"

#include <charconv>
#include <libxml/tree.h>

namespace lirvo::storage {
namespace {

// Walks `path` ("A/B/C") from the root, first match per name; with `document`, makes what is
// missing (appended as last children), otherwise stops with nullptr.
xmlNode *ResolvePath(xmlNode *root, std::string_view path, XmlDocument *document) {
    xmlNode *current = root;
    for (;;) {
        const std::size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        xmlNode *next = XmlDocument::FirstChild(current, name);
        if (!next) {
            if (!document)
                return nullptr;
            next = document->AppendChild(current, name);
        }
        current = next;
        if (slash == std::string_view::npos)
            return current;
        path.remove_prefix(slash + 1);
    }
}

} // namespace

TDKConfig::TDKConfig(std::string fileName, std::string rootName)
    : fileName_(std::move(fileName)), document_(std::make_unique<XmlDocument>(fileName_, rootName)) {}

TDKConfig::TDKConfig(RecoveredDocument opened)
    : fileName_(std::move(opened.savePath)), document_(std::move(opened.document)) {}

std::unique_ptr<TDKConfig> TDKConfig::OpenRecovering(const std::string &fileName, const std::string &rootName,
                                                   OpenNote *note) {
    return std::unique_ptr<TDKConfig>(new TDKConfig(OpenDocumentRecovering(fileName, rootName, note)));
}

TDKConfig::~TDKConfig() {
    try {
        Save();
    } catch (...) {
        // A destructor must not throw; callers that need the outcome call Save() themselves.
    }
}

void TDKConfig::Save() {
    if (!modified_ || fileName_.empty())
        return;
    document_->SaveTo(fileName_);
    modified_ = false;
}

bool TDKConfig::HasNode(std::string_view path) const {
    return ResolvePath(document_->Root(), path, nullptr) != nullptr;
}

std::string TDKConfig::ReadString(std::string_view path, std::string_view attribute,
                                  std::string_view defaultValue) const {
    xmlNode *element = ResolvePath(document_->Root(), path, nullptr);
    if (!element)
        return std::string(defaultValue);
    if (attribute.empty())
        return XmlDocument::Text(element);
    std::string value = XmlDocument::Attribute(element, attribute);
    return value.empty() ? std::string(defaultValue) : value;
}

std::int32_t TDKConfig::ReadInteger(std::string_view path, std::string_view attribute,
                                    std::int32_t defaultValue) const {
    const std::string text = ReadString(path, attribute, std::to_string(defaultValue));
    return text::ParseInt32(text).value_or(defaultValue);
}

bool TDKConfig::ReadBool(std::string_view path, std::string_view attribute, bool defaultValue) const {
    return (ReadInteger(path, attribute, defaultValue ? 1 : 0) & 0xFF) != 0;
}

void TDKConfig::WriteString(std::string_view path, std::string_view attribute, std::string_view value) {
    xmlNode *element = ResolvePath(document_->Root(), path, document_.get());
    if (attribute.empty())
        document_->SetText(element, value);
    else
        XmlDocument::SetAttribute(element, attribute, value);
    modified_ = true;
}

void TDKConfig::WriteInteger(std::string_view path, std::string_view attribute, std::int32_t value) {
    WriteString(path, attribute, std::to_string(value));
}

void TDKConfig::WriteBool(std::string_view path, std::string_view attribute, bool value) {
    WriteInteger(path, attribute, value ? 1 : 0);
}

} // namespace lirvo::storage
