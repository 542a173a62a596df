#pragma once
// What every service lyric parser promises whatever its input: lines in time order, no word
// without text, a word-timed line's text made of its words, and LRC output that our parser
// reads without fault.

#include "lyrics/core/uLRCHandle.h"
#include "lyrics/formats/ServiceLyric.h"
#include "lyrics/formats/ServiceLyricLrc.h"

#include <cstdlib>
#include <string>
#include <vector>

inline void CheckServiceLines(const std::vector<lirvo::lyrics::services::TTimedLine> &lines) {
    using namespace lirvo::lyrics;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && lines[i - 1].StartMs > lines[i].StartMs)
            std::abort();
        std::string joined;
        for (const services::TTimedWord &word : lines[i].Words) {
            if (word.Text.empty())
                std::abort();
            joined += word.Text;
        }
        if (!lines[i].Words.empty() && lines[i].Text.size() > joined.size())
            std::abort();
    }
    services::TServiceLyric lyric;
    lyric.Lines = lines;
    const std::string lrc = services::ServiceLyricToLrc(lyric, "fuzz:1");
    if (services::ReadLrcSourceTag(lrc) != "fuzz:1")
        std::abort();
    TLyricHandle handle;
    handle.Parse(lrc);
}
