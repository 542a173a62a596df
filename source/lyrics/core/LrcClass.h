#pragma once
// TLrcClass: the lyric timeline of the playing song. It holds the parsed lines, the offset and
// the line that belongs to the play position. Used from the main thread only; never blocks.

#include "lyrics/core/uLRCHandle.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lirvo::lyrics {

// Text of the end-of-track line appended by SetTrackLength.
inline constexpr std::string_view kLyricSlogan = "Lirvo 不一样的音乐体验";

class TLrcClass {
public:
    // Keeps the text, empties CurrentLine, parses the text, takes the file's own offset tag
    // (0 when none) as Offset and sorts the lines by time.
    void LoadText(std::string_view text);
    // Appends the slogan line at `lengthMs` after the current lines, without sorting.
    void SetTrackLength(int32_t lengthMs);
    // Sets the offset (positive values make every line appear earlier). CurrentLine is
    // recomputed only at the next SetPosition/Update.
    void SetOffset(int32_t offsetMs) { m_offset = offsetMs; }
    // Sets the play position and recomputes CurrentLine.
    void SetPosition(int32_t positionMs);
    // The current line is the last line whose Time - Offset lies strictly before Position;
    // before the first line's time the first line is shown in advance. With no lines at all
    // CurrentLine keeps its value.
    void Update();

    const std::string &CurrentLine() const { return m_currentLine; }
    // Translation of the current line (the second line sharing its time), empty when none.
    const std::string &CurrentTranslation() const { return m_currentTranslation; }
    // The current line with its word timings; nullptr before any Update found one. Valid until
    // the next LoadText or SetTrackLength.
    const TLyricItem *CurrentItem() const;
    int32_t Offset() const { return m_offset; }
    int32_t Position() const { return m_position; }
    const std::string &LrcText() const { return m_lrcText; }
    const TLyricHandle &Handle() const { return m_handle; }

private:
    TLyricHandle m_handle;
    std::string m_lrcText;
    int32_t m_position = 0;
    int32_t m_offset = 0;
    std::string m_currentLine;
    std::string m_currentTranslation;
    int m_currentIndex = -1;
};

} // namespace lirvo::lyrics
