#include "lyrics/core/uLRCHandle.h"

#include "function/text/FastStrings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace lirvo::lyrics {

namespace {

enum class ByteClass { Digit, Letter, Punctuation, Other };

constexpr std::array<ByteClass, 256> MakeClassTable() {
    std::array<ByteClass, 256> table{};
    for (int b = 0; b < 256; ++b) {
        ByteClass c = ByteClass::Other;
        if (b >= '0' && b <= '9')
            c = ByteClass::Digit;
        else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
            c = ByteClass::Letter;
        else if ((b >= 0x21 && b <= 0x2F) || (b >= 0x3A && b <= 0x40) || (b >= 0x5B && b <= 0x60) ||
                 (b >= 0x7B && b <= 0x7E))
            c = ByteClass::Punctuation;
        table[static_cast<std::size_t>(b)] = c;
    }
    return table;
}
constexpr std::array<ByteClass, 256> kClass = MakeClassTable();

ByteClass ClassOf(char c) {
    return kClass[static_cast<unsigned char>(c)];
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char AsciiLowerByte(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool KeyAt(std::string_view text, std::size_t index, std::string_view key) {
    if (index + key.size() > text.size())
        return false;
    for (std::size_t k = 0; k < key.size(); ++k)
        if (AsciiLowerByte(text[index + k]) != key[k])
            return false;
    return true;
}

// Finds a byte at or after a position, remembering the last answer: the parser asks with
// non-decreasing starts, so a text without that byte is not scanned again for every tag.
class ByteFinder {
public:
    ByteFinder(std::string_view text, char byte) : m_text(text), m_byte(byte) {}
    // 0-based index of the first `byte` at or after `from`, or npos.
    std::size_t Find(std::size_t from) {
        if (!m_valid || from < m_from || (m_hit != std::string_view::npos && m_hit < from)) {
            m_from = from;
            m_hit = from >= m_text.size() ? std::string_view::npos : Search(from);
            m_valid = true;
        }
        return m_hit;
    }

private:
    std::size_t Search(std::size_t from) const {
        const void *hit = std::memchr(m_text.data() + from, m_byte, m_text.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - m_text.data())
                   : std::string_view::npos;
    }
    std::string_view m_text;
    char m_byte;
    bool m_valid = false;
    std::size_t m_from = 0;
    std::size_t m_hit = std::string_view::npos;
};

enum class TagKind { None, Time, Meta };

struct Token {
    ByteClass cls;
    std::size_t start; // 1-based
    std::size_t length;
    char first;
};

// All scanning state of one Parse call. Positions are 1-based, as in the grammar.
class LrcScanner {
public:
    LrcScanner(std::string_view text, TLRCInfo &info)
        : m_s(text), m_n(text.size()), m_info(info), m_open(text, '['), m_close(text, ']'), m_cr(text, '\r') {
    }

    template <typename EmitLine> void Run(EmitLine &&emit) {
        std::vector<std::string> pending;
        std::size_t prevTagEnd = 0;
        auto flush = [&](std::string_view lineText) {
            for (const std::string &tagText : pending)
                emit(tagText, lineText);
            pending.clear();
        };
        while (FindTag()) {
            if (!pending.empty()) {
                if (m_kind == TagKind::Time && m_bracketPos == prevTagEnd + 1) {
                    pending.push_back(m_tagText);
                } else {
                    std::size_t cr = FindFrom(m_cr, prevTagEnd);
                    std::size_t lineEnd = (cr != 0 && cr < m_bracketPos) ? cr : m_bracketPos;
                    flush(text::TrimBlank(Range(prevTagEnd + 1, lineEnd)));
                }
            }
            if (m_kind == TagKind::Time && pending.empty())
                pending.push_back(m_tagText);
            prevTagEnd = m_tagEnd;
        }
        if (!pending.empty()) {
            std::size_t cr = FindFrom(m_cr, prevTagEnd);
            flush(text::TrimBlank(Range(prevTagEnd + 1, cr != 0 ? cr : m_n + 1)));
        }
    }

private:
    char At(std::size_t pos) const { return m_s[pos - 1]; }

    // Bytes from `first` up to, not including, `end` (1-based); empty when the range is empty.
    std::string_view Range(std::size_t first, std::size_t end) const {
        if (first < 1 || end <= first || first > m_n)
            return {};
        end = std::min(end, m_n + 1);
        return m_s.substr(first - 1, end - first);
    }

    // 1-based position of the first byte at or after `from` (1-based; 0 is treated as 1), 0 if none.
    static std::size_t FindFrom(ByteFinder &finder, std::size_t from) {
        std::size_t hit = finder.Find(from == 0 ? 0 : from - 1);
        return hit == std::string_view::npos ? 0 : hit + 1;
    }

    // Reads the next token from the scan position, skipping bytes of class other.
    std::optional<Token> ReadToken() {
        std::size_t p = m_scanPos;
        while (p <= m_n && ClassOf(At(p)) == ByteClass::Other)
            ++p;
        if (p > m_n)
            return std::nullopt;
        Token t{ClassOf(At(p)), p, 1, At(p)};
        if (t.cls == ByteClass::Letter || t.cls == ByteClass::Digit)
            while (p + t.length <= m_n && ClassOf(At(p + t.length)) == t.cls)
                ++t.length;
        m_scanPos = p + t.length;
        return t;
    }

    void SkipToNextBracket() {
        m_kind = TagKind::None;
        m_tagText.clear();
        m_bracketPos = FindFrom(m_open, m_bracketPos + 1);
        if (m_bracketPos != 0)
            m_scanPos = m_bracketPos + 1;
    }

    bool FindTag() {
        SkipToNextBracket();
        bool accepted = false;
        while (!accepted && m_bracketPos != 0 && m_n - m_bracketPos >= 5 && m_scanPos < m_n) {
            char c = At(m_scanPos);
            if (IsDigit(c) || c == '-') {
                accepted = ReadTimeTag();
            } else if (ClassOf(c) == ByteClass::Letter) {
                accepted = ReadMetaTag();
                if (!accepted)
                    SkipToNextBracket();
            } else {
                SkipToNextBracket();
            }
        }
        if (!accepted)
            m_kind = TagKind::None;
        return accepted;
    }

    void Append(const Token &t) { m_tagText.append(m_s.substr(t.start - 1, t.length)); }
    static bool IsPunct(const std::optional<Token> &t, char c) {
        return t && t->cls == ByteClass::Punctuation && t->first == c;
    }
    bool Abandon() {
        SkipToNextBracket();
        return false;
    }
    bool Accept(const Token &close) {
        m_tagEnd = close.start;
        return true;
    }

    bool ReadTimeTag() {
        m_kind = TagKind::Time;
        if (At(m_scanPos) == '-') {
            m_tagText.push_back('-');
            ++m_scanPos;
        }
        int runs = 0;
        for (;;) {
            std::optional<Token> digits = ReadToken();
            if (!digits || digits->cls != ByteClass::Digit)
                return Abandon();
            Append(*digits);
            ++runs;
            std::optional<Token> sep = ReadToken();
            if (IsPunct(sep, ']'))
                return Accept(*sep);
            if (IsPunct(sep, '.'))
                return ReadFraction();
            if (!IsPunct(sep, ':') || runs == 3)
                return Abandon();
            Append(*sep);
        }
    }

    // Digits after ".": a missing "]" keeps the tag open, so scanning resumes inside it.
    bool ReadFraction() {
        m_tagText.push_back('.');
        std::optional<Token> digits = ReadToken();
        if (!digits || digits->cls != ByteClass::Digit)
            return Abandon();
        Append(*digits);
        std::optional<Token> close = ReadToken();
        if (IsPunct(close, ']'))
            return Accept(*close);
        return false;
    }

    bool ReadMetaTag() {
        static constexpr std::array<std::string_view, 6> kKeys = {"ti", "ar", "al", "by", "la", "offset"};
        std::size_t keyIndex = 0;
        while (keyIndex < kKeys.size() && !KeyAt(m_s, m_scanPos - 1, kKeys[keyIndex]))
            ++keyIndex;
        if (keyIndex == kKeys.size())
            return false;
        m_scanPos += kKeys[keyIndex].size();
        std::optional<Token> colon = ReadToken();
        if (!IsPunct(colon, ':'))
            return false;
        std::size_t closePos = FindFrom(m_close, colon->start + 1);
        if (closePos == 0)
            return false;
        std::size_t cr = FindFrom(m_cr, colon->start + 1);
        std::size_t valueEnd = (cr != 0 && cr < closePos) ? cr : closePos;
        std::string value(text::TrimBlank(Range(colon->start + 1, valueEnd)));
        switch (keyIndex) {
        case 0:
            m_info.Title = std::move(value);
            break;
        case 1:
            m_info.Artist = std::move(value);
            break;
        case 2:
            m_info.Album = std::move(value);
            break;
        case 3:
            m_info.By = std::move(value);
            break;
        case 4:
            m_info.La = std::move(value);
            break;
        default:
            if (std::optional<int32_t> offset = text::ParseInt32(value))
                m_info.Offset = *offset;
            break;
        }
        m_kind = TagKind::Meta;
        m_scanPos = closePos;
        return true;
    }

    std::string_view m_s;
    std::size_t m_n;
    TLRCInfo &m_info;
    ByteFinder m_open, m_close, m_cr;
    std::size_t m_scanPos = 1;
    std::size_t m_bracketPos = 0;
    std::size_t m_tagEnd = 0;
    TagKind m_kind = TagKind::None;
    std::string m_tagText;
};

int FieldValue(std::string_view field) {
    int value = 0;
    for (char c : field)
        value = value * 10 + (c - '0');
    return value;
}

} // namespace

TLrcTime ConvertTimeTag(std::string_view tagText) {
    bool negative = false;
    if (!tagText.empty() && tagText.front() == '-') {
        negative = true;
        tagText.remove_prefix(1);
    }
    std::array<std::string_view, 4> fields{};
    int count = 0;
    char lastSep = 0;
    std::size_t pos = 0;
    while (pos < tagText.size() && count < 4) {
        std::size_t start = pos;
        while (pos < tagText.size() && IsDigit(tagText[pos]))
            ++pos;
        fields[static_cast<std::size_t>(count++)] = tagText.substr(start, pos - start);
        if (pos < tagText.size())
            lastSep = tagText[pos++];
    }
    const bool hasFraction = lastSep == '.' && count >= 2;
    const int wholeFields = hasFraction ? std::min(count, 4) - 1 : std::min(count, 3);
    // Whole fields count with their last two digits (123 counts as 23). The fraction is a
    // decimal fraction of a second: one digit is tenths, two hundredths, three milliseconds;
    // digits after the third are ignored.
    for (int i = 0; i < wholeFields; ++i) {
        std::string_view &field = fields[static_cast<std::size_t>(i)];
        if (field.size() > 2)
            field.remove_prefix(field.size() - 2);
    }
    std::string_view fraction;
    if (hasFraction) {
        fraction = fields[static_cast<std::size_t>(wholeFields)].substr(0, 3);
    }
    auto f = [&](int i) { return FieldValue(fields[static_cast<std::size_t>(i)]); };
    auto s = [&](int i) { return std::string(fields[static_cast<std::size_t>(i)]); };

    TLrcTime result;
    // Hours, minutes and seconds from the right: the last whole field is seconds.
    static constexpr int32_t kUnits[3] = {1000, 60000, 3600000};
    int64_t time = 0;
    for (int i = 0; i < wholeFields; ++i) {
        time += int64_t{f(i)} * kUnits[wholeFields - 1 - i];
        if (i > 0)
            result.TimeTag.push_back(':');
        result.TimeTag += s(i);
    }
    if (hasFraction) {
        int millis = FieldValue(fraction);
        for (std::size_t digits = fraction.size(); digits < 3; ++digits)
            millis *= 10;
        time += millis;
        result.TimeTag.push_back('.');
        result.TimeTag.append(fraction);
    }
    result.Time = static_cast<int32_t>(time);
    if (negative) {
        result.Time = -result.Time;
        if (result.Time != 0)
            result.TimeTag.insert(result.TimeTag.begin(), '-');
    }
    return result;
}

namespace {

// Length of the word tag at `at` ("<" D [":" D [":" D]] ["." D] ">", no blanks inside) with
// its time in `time`; nullopt when the bytes there are no word tag.
std::optional<std::size_t> ReadWordTag(std::string_view text, std::size_t at, int32_t &time) {
    if (at >= text.size() || text[at] != '<')
        return std::nullopt;
    std::size_t pos = at + 1;
    auto digits = [&] {
        std::size_t start = pos;
        while (pos < text.size() && IsDigit(text[pos]))
            ++pos;
        return pos > start;
    };
    if (!digits())
        return std::nullopt;
    for (int colons = 0; colons < 2 && pos < text.size() && text[pos] == ':'; ++colons) {
        ++pos;
        if (!digits())
            return std::nullopt;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        if (!digits())
            return std::nullopt;
    }
    if (pos >= text.size() || text[pos] != '>')
        return std::nullopt;
    time = ConvertTimeTag(text.substr(at + 1, pos - at - 1)).Time;
    return pos + 1 - at;
}

// Takes the word tags out of a line's text: each tag starts the word written after it, a tag at
// the end marks the end of the last word. Text before the first tag is a word starting with the
// line. Without any valid tag the text stays as it is and the line has no words.
void SplitWords(std::string_view line, int32_t lineTime, TLyricItem &item) {
    std::size_t lt = line.find('<');
    if (lt == std::string_view::npos) {
        item.Text.assign(line);
        return;
    }
    std::string text;
    text.reserve(line.size());
    std::vector<TLyricWord> words;
    // The word being collected: text before the first tag starts with the line.
    int32_t start = lineTime;
    bool startFromTag = false;
    std::string word;
    auto closeWord = [&] {
        if (!word.empty()) {
            text += word;
            words.push_back(TLyricWord{start, std::move(word)});
            word.clear();
        }
    };
    std::size_t pos = 0;
    bool anyTag = false;
    while (lt != std::string_view::npos) {
        int32_t tagTime = 0;
        std::optional<std::size_t> tagLength = ReadWordTag(line, lt, tagTime);
        if (!tagLength) {
            // Not a word tag: the "<" stays part of the text.
            word.append(line.substr(pos, lt + 1 - pos));
            pos = lt + 1;
        } else {
            word.append(line.substr(pos, lt - pos));
            closeWord();
            start = tagTime;
            startFromTag = true;
            anyTag = true;
            pos = lt + *tagLength;
        }
        lt = line.find('<', pos);
    }
    word.append(line.substr(pos));
    if (!anyTag) {
        item.Text.assign(line);
        return;
    }
    // A tag with nothing after it marks the end of the last word.
    if (word.empty() && startFromTag && !words.empty())
        item.WordsEnd = start;
    closeWord();
    item.Text.assign(text::TrimBlank(text));
    item.Words = std::move(words);
}

} // namespace

void TLyricHandle::Clear() {
    m_items.clear();
    m_info = TLRCInfo{};
}

void TLyricHandle::Insert(int index, const TLyricItem &item) {
    if (index < 0 || index > Count())
        throw std::out_of_range("lyric item index out of range");
    m_items.insert(m_items.begin() + index, item);
}

TLyricItem TLyricHandle::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("lyric item index out of range");
    return m_items[static_cast<std::size_t>(index)];
}

void TLyricHandle::Delete(int index) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("lyric item index out of range");
    m_items.erase(m_items.begin() + index);
}

void TLyricHandle::Sort() {
    const auto earlier = [](const TLyricItem &a, const TLyricItem &b) { return a.Time < b.Time; };
    if (std::is_sorted(m_items.begin(), m_items.end(), earlier))
        return;
    // Sorting (time, position) keys keeps equal times in their order and moves each record
    // only once, into its final place.
    std::vector<std::pair<int32_t, std::size_t>> keys;
    keys.reserve(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i)
        keys.emplace_back(m_items[i].Time, i);
    std::sort(keys.begin(), keys.end());
    std::vector<TLyricItem> sorted;
    sorted.reserve(m_items.size());
    for (const auto &key : keys)
        sorted.push_back(std::move(m_items[key.second]));
    m_items.swap(sorted);
}

void TLyricHandle::Parse(std::string_view text) {
    Clear();
    std::string_view trimmed = text::TrimBlank(text);
    if (trimmed.size() <= 3)
        return;
    LrcScanner scanner(trimmed, m_info);
    scanner.Run([this](const std::string &tagText, std::string_view lineText) {
        TLrcTime time = ConvertTimeTag(tagText);
        TLyricItem &item = m_items.emplace_back();
        item.TimeTag = std::move(time.TimeTag);
        item.Time = time.Time;
        SplitWords(lineText, time.Time, item);
    });
}

} // namespace lirvo::lyrics
