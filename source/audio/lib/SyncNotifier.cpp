#include "audio/lib/SyncNotifier.h"

namespace lirvo::audio {

SyncNotifier::SyncNotifier() : thread_([this] { Run(); }) {}

SyncNotifier::~SyncNotifier() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SyncNotifier::PostEnd(const std::shared_ptr<PlaybackChannel> &channel) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(channel);
    }
    changed_.notify_all();
}

void SyncNotifier::Retire(PlaybackChannel &channel) {
    std::unique_lock lock(mutex_);
    channel.freed = true;
    if (std::this_thread::get_id() == thread_.get_id()) {
        return;
    }
    changed_.wait(lock, [&] { return firing_ != &channel; });
}

void SyncNotifier::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_) {
            return;
        }
        std::shared_ptr<PlaybackChannel> channel = queue_.front().lock();
        queue_.pop_front();
        if (channel == nullptr || channel->freed) {
            continue;
        }
        firing_ = channel.get();
        lock.unlock();
        for (const SyncEntry &sync : channel->Syncs()) {
            if (sync.type == kSyncEnd && sync.proc != nullptr && !channel->freed) {
                try {
                    sync.proc(sync.handle, channel->GetHandle(), 0, sync.user);
                } catch (...) {
                    // A procedure must not throw; if one does, the thread keeps serving others.
                }
            }
        }
        channel.reset();
        lock.lock();
        firing_ = nullptr;
        changed_.notify_all();
    }
}

} // namespace lirvo::audio
