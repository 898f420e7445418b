#pragma once
// A thread with a connection of its own to the collection index, running jobs one after the other, so that
// searches, file listings and thumbnails never wait on the UI thread (and the UI never waits on them). The
// connection is opened on the thread at its first job.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "collection/collection_index.h"

namespace glyphora {

// Opens a connection to the collection's database; null with a message when it cannot. rebuilt (may be
// null) says that a damaged or outdated database was made anew.
using IndexOpener =
    std::function<std::unique_ptr<collection::CollectionIndex>(std::string& error, bool* rebuilt)>;

// The database in the cache folder.
IndexOpener default_index_opener();

class IndexThread {
  public:
    struct Job {
        // Runs on the thread; index is null when the database could not be opened.
        std::function<void(collection::CollectionIndex* index)> run;
        // Called on the posting thread instead, when the job is dropped before it ran.
        std::function<void()> dropped;
    };

    explicit IndexThread(IndexOpener opener);
    // Drops what has not started and waits for the running job.
    ~IndexThread();
    IndexThread(const IndexThread&) = delete;
    IndexThread& operator=(const IndexThread&) = delete;

    // In turn, after what is queued.
    void post(Job job);
    // Before everything queued; the queue keeps at most `keep` jobs, dropping the oldest requests. For
    // thumbnails: what was asked last is what is on screen.
    void post_first(Job job, std::size_t keep);
    // Instead of everything queued: only the newest search counts.
    void replace(Job job);
    void clear();

  private:
    void loop();
    void drop(std::deque<Job>& jobs);

    IndexOpener opener_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace glyphora
