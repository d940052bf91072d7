#pragma once

#include <string>
#include <string_view>
#include <vector>

// How a batch script and its arguments are written on cmd.exe's command line. Kept free of
// system calls, so that what reaches cmd.exe can be checked exactly.
namespace zelvoset::win32 {

// The command line, or why none can be built (and nothing may be started).
struct BatchCommand {
    std::wstring line;
    std::string refusal;
};

// Has `interpreter` (cmd.exe's full path) run the batch file `script` (a full path) with each of
// `arguments` reaching it as exactly one %n, and with no variable of the user's ever expanded:
//
// - an argument made only of letters, digits and # $ * + - . / : ? @ \ _ passes as written,
//   so "nowarning" and "DATA\CO1" arrive unchanged;
// - any other argument is quoted (%n then holds the quotes, %~n the text), and every '%' in it
//   is neutralised (see the source);
// - an argument holding a double quote, CR, LF or NUL is refused: cmd.exe has no way to carry
//   them inside one argument, and a quote would end the quoting early.
BatchCommand BatchCommandLine(std::wstring_view interpreter, std::wstring_view script,
                              const std::vector<std::wstring>& arguments);

// An environment block ("NAME=value" entries, each ending in NUL, and one more NUL at the end)
// without the variables named `name` (compared without regard to case).
std::wstring WithoutVariable(const wchar_t* block, std::wstring_view name);

} // namespace zelvoset::win32
