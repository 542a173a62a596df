#include "storage/XmlWriter.h"
#include "storage/XmlDocument.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

using namespace lirvo::storage;
using lirvo::testing::TempFolder;
using lirvo::testing::WriteWholeFile;

namespace {
XmlWriteResult Write(const std::string &document, std::string &ours, std::string &library) {
    TempFolder dir;
    WriteWholeFile(dir.File("d.xml"), document);
    XmlDocument doc(dir.File("d.xml"), "x");
    library = doc.SerializeWithLibrary("GB2312");
    return WriteGb2312Document(doc.Document(), ours);
}
} // namespace

// The stores write with their own serialiser for speed; it must agree with libxml2 byte for byte.
TEST(XmlWriter, MatchesLibxml2OnMixedContentEscapesAndEncodings) {
    for (const std::string document : {
             "<r/>",
             "<?xml version=\"1.0\" standalone=\"yes\"?><!--c--><?pi x?><r a=\"1\"><b><c/>text<d><e/></d></b>"
             "<f><g/><!--x--><?p q?></f><h>&amp;&lt;&gt;\"&#13;</h><i><![CDATA[<z>]]></i></r>",
             "<r a=\"&quot;&#10;&#9;&#13;&lt;&amp;'\"><p:x xmlns:p=\"u\" p:y=\"1\"/></r>",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r t=\"\xE6\xAD\x8C\xE4\xB8\x9F\xF0\x9F\x8E\xB5\">"
             "\xE6\xAD\x8C\xE2\x82\xAC<n>caf\xC3\xA9</n></r>",
         }) {
        std::string ours, library;
        ASSERT_EQ(Write(document, ours, library), XmlWriteResult::Written) << document;
        EXPECT_EQ(ours, library) << document;
    }
}

TEST(XmlWriter, LeavesWhatItCannotWriteToTheCaller) {
    std::string ours, library;
    EXPECT_EQ(Write("<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", ours, library),
              XmlWriteResult::Unsupported);
    EXPECT_EQ(Write("<r><!-- \xF0\x9F\x8E\xB5 --></r>", ours, library), XmlWriteResult::NotEncodable);
    EXPECT_EQ(Write("<\xE4\xB8\x9F/>", ours, library), XmlWriteResult::NotEncodable);
}
