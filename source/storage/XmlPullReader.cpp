#include "storage/XmlPullReader.h"

#include "function/text/FastStrings.h"
#include "storage/XmlDocument.h"

#include <cerrno>
#include <cstring>
#include <libxml/xmlreader.h>
#include <limits>

namespace lirvo::storage {
namespace {

const char *C(const xmlChar *s) {
    return reinterpret_cast<const char *>(s);
}

} // namespace

std::string XmlPart::Attribute(std::string_view attributeName) const {
    for (const auto &[name, value] : attributes) {
        if (name == attributeName)
            return value;
    }
    return {};
}

bool XmlPart::HasAttribute(std::string_view attributeName) const {
    for (const auto &attribute : attributes) {
        if (attribute.first == attributeName)
            return true;
    }
    return false;
}

struct XmlPullReader::State {
    std::string bytes; // the reader parses from this buffer, so it lives as long as the reader
    xmlTextReaderPtr reader = nullptr;
    XmlPart part;
    std::string error;
    bool failed = false;
    bool finished = false;

    ~State() {
        if (reader)
            xmlFreeTextReader(reader);
    }

    static void OnError(void *self, xmlErrorPtr error) {
        auto *state = static_cast<State *>(self);
        if (!error || error->level < XML_ERR_ERROR || !state->error.empty())
            return;
        std::string text = error->message ? error->message : "malformed XML";
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        state->error = "line " + std::to_string(error->line) + ": " + text;
    }

    void Fail(const std::string &message) {
        failed = true;
        finished = true;
        if (error.empty())
            error = message;
    }
};

XmlPullReader::XmlPullReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
XmlPullReader::XmlPullReader(XmlPullReader &&) noexcept = default;
XmlPullReader &XmlPullReader::operator=(XmlPullReader &&) noexcept = default;
XmlPullReader::~XmlPullReader() = default;

XmlPullReader XmlPullReader::FromText(std::string_view document) {
    EnsureXmlLibrary();
    auto state = std::make_unique<State>();
    state->bytes.assign(document);
    if (state->bytes.empty()) {
        state->Fail("the document is empty");
        return XmlPullReader(std::move(state));
    }
    if (state->bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        state->Fail("the document is too large");
        return XmlPullReader(std::move(state));
    }
    const char *forced = ParserEncodingFor(state->bytes);
    XmlErrorCapture capture;
    state->reader = xmlReaderForMemory(state->bytes.data(), static_cast<int>(state->bytes.size()), nullptr,
                                       forced, XML_PARSE_NONET | (forced ? XML_PARSE_IGNORE_ENC : 0));
    if (!state->reader) {
        state->Fail("cannot start the XML parser");
        return XmlPullReader(std::move(state));
    }
    xmlTextReaderSetStructuredErrorHandler(state->reader, &State::OnError, state.get());
    return XmlPullReader(std::move(state));
}

XmlPullReader XmlPullReader::FromFile(const std::string &path) {
    std::string bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, &error)) {
        auto state = std::make_unique<State>();
        state->Fail(path + ": " + error);
        return XmlPullReader(std::move(state));
    }
    return FromText(bytes);
}

bool XmlPullReader::Next() {
    if (!state_)
        return false; // moved from
    State &s = *state_;
    while (!s.finished) {
        int rc;
        std::string libraryMessage;
        {
            XmlErrorCapture capture; // encoding errors bypass the reader's own error handler
            rc = xmlTextReaderRead(s.reader);
            if (rc != 1)
                libraryMessage = capture.Message();
        }
        if (rc != 1) {
            s.finished = true;
            if (rc < 0 || !s.error.empty()) {
                if (s.error.empty())
                    s.error = libraryMessage;
                s.Fail("malformed XML");
            }
            return false;
        }
        XmlPart part;
        switch (xmlTextReaderNodeType(s.reader)) {
        case XML_READER_TYPE_ELEMENT: {
            part.kind = XmlPartKind::StartTag;
            part.name = C(xmlTextReaderConstName(s.reader));
            part.selfClosing = xmlTextReaderIsEmptyElement(s.reader) == 1;
            while (xmlTextReaderMoveToNextAttribute(s.reader) == 1) {
                const xmlChar *value = xmlTextReaderConstValue(s.reader);
                part.attributes.emplace_back(C(xmlTextReaderConstName(s.reader)), value ? C(value) : "");
            }
            xmlTextReaderMoveToElement(s.reader);
            break;
        }
        case XML_READER_TYPE_END_ELEMENT:
            part.kind = XmlPartKind::EndTag;
            part.name = C(xmlTextReaderConstName(s.reader));
            break;
        case XML_READER_TYPE_TEXT:
        case XML_READER_TYPE_CDATA: {
            part.kind = XmlPartKind::Text;
            const xmlChar *value = xmlTextReaderConstValue(s.reader);
            part.text = value ? C(value) : "";
            break;
        }
        default:
            continue; // comments, processing instructions, whitespace, doctype
        }
        part.lowerName = text::AsciiLower(part.name);
        s.part = std::move(part);
        return true;
    }
    return false;
}

const XmlPart &XmlPullReader::Part() const {
    static const XmlPart none;
    return state_ ? state_->part : none;
}
bool XmlPullReader::Failed() const {
    return state_ && state_->failed;
}
const std::string &XmlPullReader::Error() const {
    static const std::string none;
    return state_ ? state_->error : none;
}

namespace {
XmlScan ScanAll(XmlPullReader reader) {
    XmlScan scan;
    while (reader.Next())
        scan.parts.push_back(reader.Part());
    scan.error = reader.Error();
    return scan;
}
} // namespace

XmlScan ScanXmlText(std::string_view document) {
    return ScanAll(XmlPullReader::FromText(document));
}
XmlScan ScanXmlFile(const std::string &path) {
    return ScanAll(XmlPullReader::FromFile(path));
}

} // namespace lirvo::storage
