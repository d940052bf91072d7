// What makes a new file the same file as the one it replaces: owner, group, mode, and every
// extended attribute, ACLs and security labels included.
#include "Rewrite.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace zelvoset::posix {
namespace {

// The names of the extended attributes that this user may read, ACLs and labels included.
// A file system without extended attributes has none.
std::optional<std::vector<std::string>> AttributeNames(int fd) {
    for (;;) {
        const ssize_t size = flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP ? std::make_optional<std::vector<std::string>>() : std::nullopt;
        std::string list(static_cast<std::size_t>(size), '\0');
        const ssize_t got = flistxattr(fd, list.data(), list.size());
        if (got < 0 && errno == ERANGE)
            continue; // one was added meanwhile
        if (got < 0)
            return std::nullopt;
        std::vector<std::string> names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            names.emplace_back(list.c_str() + at);
            at += names.back().size() + 1;
        }
        return names;
    }
}

std::optional<std::string> AttributeValue(int fd, const std::string& name) {
    for (;;) {
        const ssize_t size = fgetxattr(fd, name.c_str(), nullptr, 0);
        if (size < 0)
            return std::nullopt;
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t got = fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return std::nullopt;
        value.resize(static_cast<std::size_t>(got));
        return value;
    }
}

} // namespace

Status GiveAttributes(int from, int to) {
    struct stat old, now;
    if (fstat(from, &old) != 0 || fstat(to, &now) != 0)
        return Status::Fail(Reason(errno));
    // Owner first: a change of owner clears the set-id bits and file capabilities, which the
    // attributes and the mode below then bring back.
    if ((old.st_uid != now.st_uid || old.st_gid != now.st_gid) &&
        fchown(to, old.st_uid, old.st_gid) != 0)
        return Status::Fail("The owner cannot be given to a new file: " + Reason(errno));

    // Copied as raw attributes: the ACL is the system.posix_acl_access attribute, so no ACL
    // library is needed, and a label or a user attribute goes the same way.
    const auto names = AttributeNames(from);
    if (!names)
        return Status::Fail("The extended attributes cannot be read: " + Reason(errno));
    for (const auto& name : *names) {
        const auto value = AttributeValue(from, name);
        if (!value || fsetxattr(to, name.c_str(), value->data(), value->size(), 0) != 0)
            return Status::Fail("The attribute " + name +
                                " cannot be given to a new file: " + Reason(errno));
    }
    // A new file may have inherited what the old one lacks: a default ACL of the directory.
    const auto inherited = AttributeNames(to);
    if (!inherited)
        return Status::Fail(Reason(errno));
    for (const auto& name : *inherited) {
        if (std::find(names->begin(), names->end(), name) == names->end() &&
            fremovexattr(to, name.c_str()) != 0 && errno != ENODATA)
            return Status::Fail("The attribute " + name + " cannot be removed: " + Reason(errno));
    }

    if (fchmod(to, old.st_mode & 07777) != 0)
        return Status::Fail("The permissions cannot be given to a new file: " + Reason(errno));
    // The system drops quietly what this user may not set, such as the set-group-id bit for a
    // group the user is not in: the new file must come out the same, or not be used.
    if (fstat(to, &now) != 0 || now.st_uid != old.st_uid || now.st_gid != old.st_gid ||
        (now.st_mode & 07777) != (old.st_mode & 07777))
        return Status::Fail("The new file would not be the same as the old one");
    return Status::Ok();
}

} // namespace zelvoset::posix
