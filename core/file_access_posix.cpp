#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/file_access.h"

namespace vantorel {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string_view> ReadFilePrefix(const PathString& path, std::span<char> buffer) {
    // Non-blocking, so a FIFO or a terminal standing where the file should be can stall neither
    // the open nor the read; a directory fails at the read. No type check: it would cost a
    // system call per client and tick for nothing the non-blocking open does not already give.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        return std::nullopt;
    }
    ssize_t got = 0;
    do {
        got = ::read(file.get(), buffer.data(), buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return std::nullopt;
    }
    return std::string_view(buffer.data(), static_cast<std::size_t>(got));
}

}  // namespace vantorel
