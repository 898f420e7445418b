#include "browser/index_thread.h"

#include <utility>

namespace glyphora {

IndexOpener default_index_opener() {
    return [](std::string& error, bool* rebuilt) {
        return collection::CollectionIndex::open(collection::default_database_path(), error, rebuilt);
    };
}

IndexThread::IndexThread(IndexOpener opener) : opener_(std::move(opener)), thread_([this] { loop(); }) {}

IndexThread::~IndexThread() {
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        left.swap(jobs_);
    }
    wake_.notify_all();
    thread_.join();
    drop(left);
}

void IndexThread::drop(std::deque<Job>& jobs) {
    for (Job& job : jobs)
        if (job.dropped) job.dropped();
    jobs.clear();
}

void IndexThread::post(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void IndexThread::post_first(Job job, std::size_t keep) {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        jobs_.push_front(std::move(job));
        while (jobs_.size() > keep && jobs_.size() > 1) {
            dropped.push_back(std::move(jobs_.back()));
            jobs_.pop_back();
        }
    }
    wake_.notify_one();
    drop(dropped);
}

void IndexThread::replace(Job job) {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(jobs_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    drop(dropped);
}

void IndexThread::clear() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(jobs_);
    }
    drop(dropped);
}

void IndexThread::loop() {
    std::unique_ptr<collection::CollectionIndex> index;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        // Opened again after a failure: the database may have been busy being rebuilt.
        if (!index) {
            std::string error;
            index = opener_(error, nullptr);
        }
        try {
            job.run(index.get());
        } catch (...) {
            // Out of memory in one job (a huge AA) must not end the thread the others wait on.
        }
    }
}

}  // namespace glyphora
