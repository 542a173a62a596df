#pragma once
// The two program-wide values the update check decides. Safe to read and write from any thread.
//
// OnlineAllowed: whether lyric lookups may ask the online lyric service. False until the
//   update check has finished (true right away when no update address is configured).
// MusicPathPrefix: the prefix that turns song-list locations into network addresses; empty
//   until the update description named one.

#include <string>

namespace lirvo::update {

bool OnlineAllowed();
void SetOnlineAllowed(bool allowed);

std::string MusicPathPrefix();
void SetMusicPathPrefix(const std::string &prefix);

} // namespace lirvo::update
