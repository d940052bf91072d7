#pragma once

#include <windows.h>

#include <utility>

namespace zelvoset::win32 {

// Owns a system handle and closes it once. File handles and find handles close differently and
// mark "none" differently, hence the two policies.
template <class Policy> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Policy::kNone)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Policy::kNone);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    explicit operator bool() const { return handle_ != Policy::kNone && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    void reset(HANDLE handle = Policy::kNone) {
        if (*this)
            Policy::Close(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = Policy::kNone;
};

struct FilePolicy {
    static inline const HANDLE kNone = INVALID_HANDLE_VALUE;
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
struct FindPolicy {
    static inline const HANDLE kNone = INVALID_HANDLE_VALUE;
    static void Close(HANDLE handle) { FindClose(handle); }
};

using Handle = UniqueHandle<FilePolicy>;
using FindHandle = UniqueHandle<FindPolicy>;

} // namespace zelvoset::win32
