#pragma once
// Helpers shared by the tests of file writing (io, storage, settings).

#include <sys/resource.h>

#include <csignal>

namespace glyphora {

// While alive, no file can grow beyond `bytes`: writes past it fail with EFBIG, the way they fail on a full
// disk. The signal such a write raises is ignored for the time.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
};

}  // namespace glyphora
