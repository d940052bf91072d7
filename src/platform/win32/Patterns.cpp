#include "Patterns.h"

#include "Handle.h"
#include "Paths.h"
#include "Text.h"
#include "Wildcard.h"

#include <vector>

namespace zelvoset::win32 {
namespace {

// Missing is "nothing there"; any other error means the folder could not be looked at.
bool IsMissing(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_DIRECTORY:    // a file where a folder was expected (Windows)
    case ERROR_INVALID_NAME: // the same, as Wine reports it, or a name no file can have
    case ERROR_BAD_PATHNAME:
        return true;
    default:
        return false;
    }
}

// The pattern's last component decides what matches, by the program's own rules.
class Matcher {
public:
    explicit Matcher(const std::wstring& name)
        : wide_(name), utf8_(Narrow(name).value_or("")), wildcard_(HasWildcard(utf8_)) {}

    bool operator()(const wchar_t* name) const {
        // A literal name is compared the way the file system compares names, in every script.
        if (!wildcard_)
            return CompareStringOrdinal(name, -1, wide_.c_str(), -1, TRUE) == CSTR_EQUAL;
        const auto utf8 = Narrow(name);
        return utf8 && WildcardMatch(utf8_, *utf8);
    }

private:
    std::wstring wide_;
    std::string utf8_;
    bool wildcard_;
};

// A link counts when what it points to is a file; the link itself says nothing about that.
bool LeadsToFile(const std::wstring& path) {
    const Handle target(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return target && GetFileInformationByHandle(target.get(), &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsOrdinary(const WIN32_FIND_DATAW& entry, const std::wstring& path) {
    constexpr DWORD kNeverCounts =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (entry.dwFileAttributes & kNeverCounts)
        return false;
    return !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || LeadsToFile(path);
}

// Calls `visit(path)` for each ordinary file that matches `pattern`, until it returns false.
// Returns the error of a listing that could not be read to its end, or 0.
//
// The folder is listed whole and matched here. Given the pattern, the system would also match
// it against 8.3 short names ("*.gnt" finds "a.gntx", whose short name is A~1.GNT; Wine does
// the same), and its DOS wildcard rules differ between Windows and Wine.
template <class Visit> DWORD ForEachMatch(std::string_view pattern, Visit visit) {
    const auto path = Widen(pattern);
    if (!path || path->find(L'\0') != std::wstring::npos)
        return ERROR_INVALID_NAME;
    const PathParts parts = SplitPath(*path);
    const Matcher matches(parts.name);
    WIN32_FIND_DATAW entry;
    const FindHandle listing(
        FindFirstFileExW(LongPathSafe(JoinNative(parts.directory, L"*")).c_str(), FindExInfoBasic,
                         &entry, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!listing)
        return GetLastError();
    do {
        if (!matches(entry.cFileName))
            continue;
        const std::wstring file = LongPathSafe(JoinNative(parts.directory, entry.cFileName));
        if (IsOrdinary(entry, file) && !visit(file))
            return 0;
    } while (FindNextFileW(listing.get(), &entry));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
}

} // namespace

DWORD ForEachFile(std::string_view pattern, const std::function<bool(const std::wstring&)>& visit) {
    return ForEachMatch(pattern, visit);
}

Probe FindMatch(std::string_view pattern) {
    bool found = false;
    const DWORD error = ForEachMatch(pattern, [&](const std::wstring&) {
        found = true;
        return false;
    });
    if (found)
        return Probe::Found;
    return error && !IsMissing(error) ? Probe::Failed : Probe::None;
}

Status DeleteMatches(std::string_view pattern) {
    // Listed first, deleted after: a folder changing under its own listing may skip entries.
    std::vector<std::wstring> files;
    const DWORD error = ForEachMatch(pattern, [&](const std::wstring& file) {
        files.push_back(file);
        return true;
    });
    DWORD failure = 0;
    for (const auto& file : files) {
        // A read-only file stays: the attribute is the owner's word, and is honoured here too.
        if (!DeleteFileW(file.c_str()) && !failure)
            failure = GetLastError();
    }
    if (failure)
        return Status::Fail(SystemMessage(failure));
    if (error && (!files.empty() || !IsMissing(error)))
        return Status::Fail(SystemMessage(error));
    if (files.empty())
        return Status::Fail(SystemMessage(ERROR_FILE_NOT_FOUND));
    return Status::Ok();
}

} // namespace zelvoset::win32
