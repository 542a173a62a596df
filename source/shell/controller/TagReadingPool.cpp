#include "shell/controller/TagReadingPool.h"

namespace lirvo::shell {

struct TagReadingPool::Batch {
    std::vector<std::string> files;
    std::vector<audio::TTags> tags;
    std::atomic<std::size_t> done{0}; // files whose tags are in `tags`
    std::atomic<bool> stop{false};
    Finished finished;
    std::thread worker;
};

TagReadingPool::TagReadingPool(QObject *context) : context_(context) {}

TagReadingPool::~TagReadingPool() {
    StopAll();
}

void TagReadingPool::Start(std::vector<std::string> files, ReadTags read, Finished finished) {
    auto batch = std::make_shared<Batch>();
    batch->files = std::move(files);
    batch->tags.resize(batch->files.size());
    batch->finished = std::move(finished);
    const int id = nextId_++;
    batches_[id] = batch;
    // The worker only touches its own batch; the pool joins it before the batch goes away.
    Batch *raw = batch.get();
    batch->worker = std::thread([this, id, raw, read = std::move(read)] {
        for (std::size_t i = 0; i < raw->files.size() && !raw->stop.load(); ++i) {
            try {
                read(raw->files[i], raw->tags[i]);
            } catch (...) {
                raw->tags[i] = {};
            }
            raw->done.store(i + 1);
        }
        if (!raw->stop.load())
            QMetaObject::invokeMethod(context_, [this, id] { Complete(id); }, Qt::QueuedConnection);
    });
}

void TagReadingPool::Complete(int id) {
    auto found = batches_.find(id);
    if (found == batches_.end())
        return; // cancelled meanwhile: its completion has run already
    std::shared_ptr<Batch> batch = found->second;
    batches_.erase(found);
    batch->worker.join(); // it has nothing left to do but return
    batch->finished(std::move(batch->files), std::move(batch->tags), true);
}

void TagReadingPool::Cancel() {
    for (auto &[id, batch] : batches_)
        batch->stop.store(true);
    auto batches = std::move(batches_);
    batches_.clear();
    for (auto &[id, batch] : batches) {
        if (batch->worker.joinable())
            batch->worker.join();
        const std::size_t read = batch->done.load();
        const bool complete = read == batch->files.size();
        batch->files.resize(read);
        batch->tags.resize(read);
        batch->finished(std::move(batch->files), std::move(batch->tags), complete);
    }
}

void TagReadingPool::StopAll() {
    for (auto &[id, batch] : batches_)
        batch->stop.store(true);
    for (auto &[id, batch] : batches_)
        if (batch->worker.joinable())
            batch->worker.join();
    batches_.clear();
}

} // namespace lirvo::shell
