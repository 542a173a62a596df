#include "lyrics/core/LrcClass.h"

namespace lirvo::lyrics {

void TLrcClass::LoadText(std::string_view text) {
    m_lrcText = std::string(text);
    m_currentLine.clear();
    m_currentTranslation.clear();
    m_currentIndex = -1;
    m_handle.Parse(text);
    SetOffset(m_handle.Info().Offset);
    m_handle.Sort();
}

void TLrcClass::SetTrackLength(int32_t lengthMs) {
    m_handle.Add(TLyricItem{std::string(kLyricSlogan), std::string(), lengthMs, {}, -1});
}

void TLrcClass::SetPosition(int32_t positionMs) {
    m_position = positionMs;
    Update();
}

void TLrcClass::Update() {
    const std::vector<TLyricItem> &items = m_handle.Items();
    if (items.empty())
        return;
    // Shifted times are compared in 64 bits: a large offset tag must not overflow.
    const int64_t position = m_position;
    std::size_t i = 0;
    while (i < items.size() && int64_t{items[i].Time} - m_offset < position)
        ++i;
    std::size_t current = i >= 2 ? i - 1 : 0;
    // Lines sharing a time: the first is the line, the second its translation, any further
    // ones are not shown.
    while (current > 0 && items[current - 1].Time == items[current].Time)
        --current;
    m_currentIndex = static_cast<int>(current);
    m_currentLine = items[current].Text;
    const std::size_t next = current + 1;
    // The slogan line (no time tag) is never a translation.
    const bool translated =
        next < items.size() && items[next].Time == items[current].Time && !items[next].TimeTag.empty();
    if (translated)
        m_currentTranslation = items[next].Text;
    else
        m_currentTranslation.clear();
}

const TLyricItem *TLrcClass::CurrentItem() const {
    const std::vector<TLyricItem> &items = m_handle.Items();
    if (m_currentIndex < 0 || static_cast<std::size_t>(m_currentIndex) >= items.size())
        return nullptr;
    return &items[static_cast<std::size_t>(m_currentIndex)];
}

} // namespace lirvo::lyrics
