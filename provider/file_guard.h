// RAII ownership of a stdio stream: closed on every path out of the scope.
#pragma once

#include <cstdio>
#include <unistd.h>

class FileGuard {
  public:
    // Takes over the descriptor `fd` (-1: none) as a stream of `mode`.
    FileGuard(int fd, const char *mode) : file_(fd >= 0 ? fdopen(fd, mode) : nullptr) {
        if (fd >= 0 && file_ == nullptr) {
            ::close(fd);
        }
    }
    ~FileGuard() { close(); }
    FileGuard(const FileGuard &) = delete;
    FileGuard &operator=(const FileGuard &) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    FILE *get() const { return file_; }
    // Closes now; returns fclose's result (0 when nothing was open).
    int close() {
        int rc = file_ ? std::fclose(file_) : 0;
        file_ = nullptr;
        return rc;
    }

  private:
    FILE *file_;
};
