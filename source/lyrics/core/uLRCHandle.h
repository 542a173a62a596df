#pragma once
// TLyricHandle: the LRC parser and the store of timed lyric lines with the file's metadata.
// The parser is byte-oriented (it never interprets multi-byte characters), so it works on
// UTF-8 text unchanged. It never fails on malformed input: whatever is not a tag is skipped.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics {

// One word of a line with word timings: it starts to be sung at Start (song time in ms, the
// lyric offset not applied). Text is the word as written, with its trailing blank.
struct TLyricWord {
    int32_t Start = 0;
    std::string Text;

    bool operator==(const TLyricWord &) const = default;
};

// One timed line.
struct TLyricItem {
    std::string Text;    // trimmed lyric text without word tags; may be empty
    std::string TimeTag; // normalised time tag, e.g. "01:23.45", "01:23.456", "-00:01.0", "5"; empty for the slogan line
    int32_t Time = 0;    // milliseconds; may be negative
    std::vector<TLyricWord> Words; // word timings in text order; empty for a plain line
    int32_t WordsEnd = -1;         // end of the last word (ms) when the line gives one, else -1

    bool operator==(const TLyricItem &) const = default;
};

// The metadata tags; each holds the value of the last valid tag of its key.
struct TLRCInfo {
    std::string Title;  // "ti"
    std::string By;     // "by"
    std::string La;     // "la"
    std::string Artist; // "ar"
    std::string Album;  // "al"
    int32_t Offset = 0; // "offset" in ms, only when the whole value is a signed integer

    bool operator==(const TLRCInfo &) const = default;
};

class TLyricHandle {
public:
    // Deletes all items and empties the metadata (Offset 0).
    void Clear();
    int Count() const { return static_cast<int>(m_items.size()); }
    // Inserts a copy of `item` at `index` (0..Count); std::out_of_range outside that range.
    void Insert(int index, const TLyricItem &item);
    void Add(const TLyricItem &item) { Insert(Count(), item); }
    // Copy of the item at `index`; std::out_of_range when index is outside 0..Count-1.
    TLyricItem GetItem(int index) const;
    // Removes the item at `index`; std::out_of_range outside 0..Count-1.
    void Delete(int index);
    // Stable ascending order by Time (items with equal times keep their order).
    void Sort();
    // Clear, then parse the whole text, appending items in text order (not sorted). Word tags
    // ("<mm:ss.xx>" inside a line's text) become the line's Words and are removed from Text.
    void Parse(std::string_view text);

    const TLRCInfo &Info() const { return m_info; }
    const std::vector<TLyricItem> &Items() const { return m_items; }

private:
    TLRCInfo m_info;
    std::vector<TLyricItem> m_items;
};

// Time conversion of one time tag's accumulated text (e.g. "-01:02.03") into milliseconds and
// the normalised tag. Whole fields keep their last two digits; the fraction is a decimal
// fraction of a second (".5" is 500 ms, ".05" 50 ms, ".050" 50 ms), cut after three digits.
// Exposed for tests and the command-line tool.
struct TLrcTime {
    int32_t Time = 0;
    std::string TimeTag;
};
TLrcTime ConvertTimeTag(std::string_view tagText);

} // namespace lirvo::lyrics
