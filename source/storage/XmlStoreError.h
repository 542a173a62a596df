#pragma once
// Errors raised by the XML stores (settings and playlist files).

#include <stdexcept>
#include <string>

namespace lirvo::storage {

// The file exists but is not well-formed XML (or cannot be read). what() carries the file
// name and the parser's message, e.g. "/home/a/Documents/lirvo/Lirvo.xml: line 3: ...".
class XmlParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writing the file failed (folder missing, no permission, disk full). The old file is intact.
class XmlSaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace lirvo::storage
