#pragma once
// A fast serialiser for the stores' documents: writes the tree declaring and using GB2312,
// with character references for characters GB2312 lacks, indented like libxml2's formatted
// output. Internal to the storage library.

#include <string>

typedef struct _xmlDoc xmlDoc;

namespace lirvo::storage {

enum class XmlWriteResult {
    Written,      // `out` holds the document
    NotEncodable, // a name, comment, CDATA section or processing instruction has a character
                  // GB2312 lacks, where no character reference may stand
    Unsupported,  // the document holds nodes left to libxml2's serialiser (DTD, raw text, ...)
};

XmlWriteResult WriteGb2312Document(xmlDoc *doc, std::string &out);

} // namespace lirvo::storage
