// Loads arbitrary bytes as a playlist file, saves the entries back the way the main window
// does, and checks that the saved list loads again unchanged.

#include "FuzzScratch.h"
#include "storage/UDDPlayerlist.h"
#include "storage/XmlDocument.h"

#include <cstring>
#include <libxml/tree.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using lirvo::storage::TDKPlist;
using lirvo::storage::TPList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = lirvo::fuzzing::ScratchFolder() + "Default.pls";
    lirvo::fuzzing::WriteBytes(path, data, size);

    std::vector<TPList> loaded;
    try {
        TDKPlist list(path, "DefaultList");
        list.LoadList("PlayerList");
        loaded = list.Entries();
        (void)list.Entry(-1);
        (void)list.Entry(list.Count());
    } catch (const lirvo::storage::XmlParseError &) {
        return 0;
    }

    {
        TDKPlist list(path, "DefaultList");
        list.ClearList("PlayerList");
        for (const auto &e : loaded)
            list.AddEntry("PlayerList/LIST", e.Title, e.Artist, e.Url, e.Path, e.Ltime);
        list.Save();
    }

    TDKPlist again(path, "DefaultList");
    again.LoadList("PlayerList");
    bool same = again.Count() == static_cast<int>(loaded.size());
    for (int i = 0; same && i < again.Count(); ++i) {
        const TPList &a = *again.Entry(i);
        const TPList &b = loaded[static_cast<std::size_t>(i)];
        same = a.Title == b.Title && a.Artist == b.Artist && a.Path == b.Path && a.Url == b.Url &&
               a.Ltime == b.Ltime;
    }
    if (!same) {
        std::fprintf(stderr, "the playlist changed across a save and load\n");
        std::abort();
    }

    // The saved list holds exactly one plain LIST element per entry with the five attributes
    // in their fixed order, whatever the old entries looked like.
    lirvo::storage::XmlDocument saved(path, "DefaultList");
    xmlNode *list = lirvo::storage::XmlDocument::FirstChild(saved.Root(), "PlayerList");
    int count = 0;
    for (xmlNode *e = list ? list->children : nullptr; e; e = e->next, ++count) {
        static const char *const names[] = {"Path", "Title", "Artist", "Url", "Ltime"};
        bool ok = e->type == XML_ELEMENT_NODE && !e->ns && !e->children &&
                  std::strcmp(reinterpret_cast<const char *>(e->name), "LIST") == 0;
        xmlAttr *a = e->properties;
        for (const char *name : names) {
            ok = ok && a && !a->ns && std::strcmp(reinterpret_cast<const char *>(a->name), name) == 0;
            a = a ? a->next : nullptr;
        }
        if (!ok || a) {
            std::fprintf(stderr, "a saved entry has the wrong shape\n");
            std::abort();
        }
    }
    if (count != static_cast<int>(loaded.size()) && !(count == 0 && loaded.empty())) {
        std::fprintf(stderr, "the saved list has the wrong length\n");
        std::abort();
    }
    return 0;
}
