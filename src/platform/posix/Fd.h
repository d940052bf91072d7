#pragma once

#include <string>

// What every POSIX file here shares: a descriptor that closes itself, and one wording for errno.
namespace zelvoset::posix {

// The system's words for an errno value, as every failure here reports it.
std::string Reason(int error);

// An open file descriptor, closed by its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace zelvoset::posix
