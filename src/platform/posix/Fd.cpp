#include "Fd.h"

#include <cstring>
#include <unistd.h>

namespace zelvoset::posix {

std::string Reason(int error) {
    return std::strerror(error);
}

Fd::~Fd() {
    if (fd_ >= 0)
        close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.release();
    }
    return *this;
}

} // namespace zelvoset::posix
