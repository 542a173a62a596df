#pragma once
// TDKPlist: a short-lived store over the XML playlist file (default DataDir + "Default.pls").
//
// File shape: root "DefaultList" > "PlayerList" > one empty "LIST" element per entry with the
// attributes Path, Title, Artist, Url, Ltime in that order. Other content survives a save.
// Values are UTF-8 here; the file is GB2312 with character references for anything else.
//
// Loading at start-up:
//     lirvo::storage::TDKPlist list(playlistPath, "DefaultList");
//     list.LoadList("PlayerList");
//     for (int i = 0; i < list.Count(); ++i) addRow(*list.Entry(i));
//
// Saving after a change (every save rewrites the file, atomically):
//     lirvo::storage::TDKPlist list(playlistPath, "DefaultList");
//     list.ClearList("PlayerList");
//     for (const auto &row : rows) list.AddEntry("PlayerList/LIST", row.title, row.artist, "0", row.path, 0);
//     list.Save(); // throws XmlSaveError; the destructor also saves, quietly

#include "storage/XmlStoreError.h"

typedef struct _xmlNode xmlNode;

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::storage {

class XmlDocument;
struct RecoveredDocument;

// One playlist entry as stored in a LIST element.
struct TPList {
    std::string Title;
    std::string Artist;
    std::string Path; // local file path or network address
    std::string Url;  // the program writes "0" and ignores it on load
    double Ltime = 0; // the program writes 0 and ignores it on load
};

class TDKPlist {
public:
    // Loads `fileName` when it exists, otherwise starts an empty document with root `rootName`.
    // Throws XmlParseError (with the parser's message) when the file is not well-formed.
    TDKPlist(std::string fileName, std::string rootName);

    // As the constructor, but a file that is not well-formed is set aside (SetAsideBadFile) and
    // the store starts empty; one that cannot be read is left alone and the store starts empty
    // and never writes. `note`, when given, says which happened.
    static std::unique_ptr<TDKPlist> OpenRecovering(const std::string &fileName, const std::string &rootName,
                                                    OpenNote *note = nullptr);

    // Saves when modified, swallowing a failure; call Save() first to learn of it.
    ~TDKPlist();

    TDKPlist(const TDKPlist &) = delete;
    TDKPlist &operator=(const TDKPlist &) = delete;

    // Writes the document when Modified() and the file name is not empty, then clears
    // Modified(). Throws XmlSaveError on failure; Modified() then stays set.
    void Save();

    bool Modified() const { return modified_; }
    const std::string &FileName() const { return fileName_; }

    int Count() const { return static_cast<int>(entries_.size()); }
    // The record at `index`, or nullptr when index is negative or not below Count().
    const TPList *Entry(int index) const;
    const std::vector<TPList> &Entries() const { return entries_; }
    void FreeEntries() { entries_.clear(); }

    // Appends one entry element at `listPath` ("PlayerList/LIST": PlayerList is found or made,
    // a new LIST always appended) with Path, Title, Artist, Url, Ltime; sets Modified().
    // Invalid XML names in the path throw std::invalid_argument.
    void AddEntry(std::string_view listPath, std::string_view title, std::string_view artist,
                  std::string_view url, std::string_view path, double ltime);

    // Removes every child of the first root child named `listName` (the element stays);
    // sets Modified() whether or not it was found.
    void ClearList(std::string_view listName);

    // Appends one record per child element of the first root child named `listName`, whatever
    // the children's names; absent attributes read as empty, a missing or non-numeric Ltime
    // as 0. Entries are not emptied first.
    void LoadList(std::string_view listName);

private:
    explicit TDKPlist(RecoveredDocument opened);

    xmlNode *TakeRecycled(xmlNode *parent, std::string_view name);
    void FreeRecycled();

    std::vector<TPList> entries_;
    std::string fileName_;
    bool modified_ = false;
    std::unique_ptr<XmlDocument> document_;
    // Entry elements taken out by ClearList, reused in order by AddEntry: a save rewrites the
    // whole list, mostly with the entries it had, and reusing them spares freeing and making
    // thousands of nodes. Not part of the document; freed at destruction.
    xmlNode *recycledParent_ = nullptr;
    xmlNode *recycled_ = nullptr;
};

} // namespace lirvo::storage
