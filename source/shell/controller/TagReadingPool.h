#pragma once
// Reads the tags of added files off the main thread. Each batch of files gets a worker thread;
// when it has read every file, its results are handed to the main thread by a queued call.
// Cancel() stops all workers after the file each is reading and hands over, on the calling
// thread, what every unfinished batch has read so far — so quitting during a long add keeps
// what was read and does not wait for the rest.

#include "audio/engine/AudioEngine.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::shell {

class TagReadingPool {
public:
    // Reads one file's tags; runs on a worker thread. An exception leaves the tags empty.
    using ReadTags = std::function<void(const std::string &path, audio::TTags &tags)>;
    // Gets the files read so far (all of them when `complete`) and their tags, on the main thread.
    using Finished =
        std::function<void(std::vector<std::string> files, std::vector<audio::TTags> tags, bool complete)>;

    // Completions are queued to `context`'s thread; the pool must not outlive `context`.
    explicit TagReadingPool(QObject *context);
    // Stops and joins every worker without handing anything over.
    ~TagReadingPool();
    TagReadingPool(const TagReadingPool &) = delete;
    TagReadingPool &operator=(const TagReadingPool &) = delete;

    void Start(std::vector<std::string> files, ReadTags read, Finished finished);
    // Stops every worker and calls each unfinished batch's completion now, in start order,
    // with the files it has read (`complete` false unless it had read them all).
    void Cancel();
    bool Busy() const { return !batches_.empty(); }

private:
    struct Batch;
    void Complete(int id);
    void StopAll();

    QObject *context_;
    std::map<int, std::shared_ptr<Batch>> batches_; // by start order; main thread only
    int nextId_ = 0;
};

} // namespace lirvo::shell
