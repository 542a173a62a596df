#pragma once
// The library's notification thread: end-of-channel syncs are called here, never inside the
// output device's callback and never on a caller's thread.

#include "audio/lib/PlaybackChannel.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace lirvo::audio {

class SyncNotifier {
public:
    SyncNotifier();
    ~SyncNotifier();

    // Queues the end of `channel`; cheap and non-blocking enough for the device callback.
    void PostEnd(const std::shared_ptr<PlaybackChannel> &channel);

    // Marks the channel freed; when this returns no sync of it runs or will run (unless
    // called from a sync procedure of that channel, which then is the last).
    void Retire(PlaybackChannel &channel);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::weak_ptr<PlaybackChannel>> queue_;
    const PlaybackChannel *firing_ = nullptr;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace lirvo::audio
