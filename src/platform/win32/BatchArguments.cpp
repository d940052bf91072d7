#include "BatchArguments.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace zelvoset::win32 {
namespace {

// cmd.exe reads a command line of at most this many characters; a longer one would be cut,
// perhaps inside a quoted argument.
constexpr std::size_t kMaxCommandLine = 8191;

// Characters that mean nothing to cmd.exe outside quotes and never separate arguments. Kept short
// on purpose: everything else is quoted, which is harmless where it was not needed.
bool PassesBare(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           std::wstring_view(L"#$*+-./:?@\\_").find(c) != std::wstring_view::npos;
}

// What cmd.exe cannot carry inside one argument, or nullptr.
const char* Uncarried(std::wstring_view text) {
    for (wchar_t c : text) {
        if (c == L'"')
            return "a double quote";
        if (c == L'\r' || c == L'\n')
            return "a line break";
        if (c == L'\0')
            return "a NUL character";
    }
    return nullptr;
}

// Inside quotes cmd.exe still expands %NAME%, so every '%' is written as "%%cd:~,%". On the
// command line (unlike in a batch file) "%%" is no escape: cmd.exe finds no variable with an
// empty name between the two, keeps the first '%' as it is, and starts again at the second.
// "%cd:~,%" is then a substring of length zero of CD, cmd.exe's own variable for the current
// folder, which always exists with /e:on: it expands to nothing. Each '%' of the text so comes
// out as itself, and as the scan never goes back over what it has passed, no two of them can
// enclose a variable's name. The interpreter gets no environment variable named CD, which would
// take the place of its own (Launch.cpp). Delayed expansion ('!') is off (/v:off).
//
// Windows expands a script's %1 once; Wine's cmd.exe expands the expanded text again, so under
// Wine a '%' that reaches the script can still be expanded there.
void AppendNeutralised(std::wstring& line, std::wstring_view text) {
    for (wchar_t c : text) {
        if (c == L'%')
            line += L"%%cd:~,";
        line += c;
    }
}

void AppendQuoted(std::wstring& line, std::wstring_view text) {
    line += L'"';
    AppendNeutralised(line, text);
    line += L'"';
}

} // namespace

BatchCommand BatchCommandLine(std::wstring_view interpreter, std::wstring_view script,
                              const std::vector<std::wstring>& arguments) {
    if (Uncarried(interpreter) || Uncarried(script))
        return {{}, "The script's path cannot be passed to the command interpreter."};
    // /d: no AutoRun commands of the registry; /e:on: the extensions the '%' guard needs;
    // /s /c: cmd.exe strips exactly the outer pair of quotes and runs what is inside.
    std::wstring line = L"\"" + std::wstring(interpreter) + L"\" /d /e:on /v:off /s /c \"";
    // Named by its full path, the script is never looked for on PATH.
    AppendQuoted(line, script);
    for (const auto& argument : arguments) {
        if (const char* what = Uncarried(argument))
            return {{}, std::string("An argument for a batch script cannot hold ") + what + "."};
        line += L' ';
        const bool bare =
            !argument.empty() && std::all_of(argument.begin(), argument.end(), PassesBare);
        if (bare)
            line += argument;
        else
            AppendQuoted(line, argument);
    }
    line += L'"';
    if (line.size() > kMaxCommandLine)
        return {{}, "The command line is too long for the command interpreter."};
    return {std::move(line), {}};
}

std::wstring WithoutVariable(const wchar_t* block, std::wstring_view name) {
    std::wstring kept;
    for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
        const std::wstring_view text(entry);
        // Names of the system's per-drive folders begin with '=' ("=C:=C:\APP").
        const std::wstring_view entryName = text.substr(0, text.find(L'=', 1));
        if (CompareStringOrdinal(entryName.data(), static_cast<int>(entryName.size()), name.data(),
                                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
            continue;
        kept += text;
        kept += L'\0';
    }
    if (kept.empty())
        kept += L'\0';
    kept += L'\0';
    return kept;
}

} // namespace zelvoset::win32
