#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zelvoset {

// The outcome of an operation that can fail. Failures travel between layers as values: the
// caller decides, by the rule of its own procedure, whether to report, skip or pass them on.
class [[nodiscard]] Status {
public:
    static Status Ok() { return Status(); }
    static Status Fail(std::string reason) { return Status(std::move(reason)); }

    bool ok() const { return !reason_; }
    explicit operator bool() const { return ok(); }
    // Empty for a success; for a failure, a short reason in the system's own words.
    const std::string& reason() const {
        static const std::string none;
        return reason_ ? *reason_ : none;
    }

private:
    Status() = default;
    explicit Status(std::string reason) : reason_(std::move(reason)) {}
    std::optional<std::string> reason_;
};

} // namespace zelvoset
