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

// The file exists but cannot be read (no permission, an I/O error, a folder in its place). It
// is not known to be broken, so it must be neither set aside nor overwritten.
class XmlReadError : public XmlParseError {
public:
    using XmlParseError::XmlParseError;
};

// What OpenRecovering found, for the user to be told.
struct OpenNote {
    std::string problem;  // the reader's or parser's message; empty when the file was fine
    std::string setAside; // where a file that is not well-formed was moved; empty when none
    bool unreadable = false; // the file could not be read; the store will not write over it
};

// Writing the file failed (folder missing, no permission, disk full). The old file is intact.
class XmlSaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace lirvo::storage
