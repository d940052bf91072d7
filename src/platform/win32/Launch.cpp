#include "Launch.h"

#include "BatchArguments.h"
#include "Paths.h"
#include "Text.h"

#include <windows.h>

namespace zelvoset::win32 {
namespace {

// cmd.exe of the system folder: one found on PATH or in the current folder (the installation's,
// which anyone who can write there controls) is never run.
std::wstring Interpreter() {
    const UINT size = GetSystemDirectoryW(nullptr, 0);
    std::wstring folder(size, L'\0');
    const UINT length = GetSystemDirectoryW(folder.data(), size);
    if (length == 0 || length >= size)
        return {};
    folder.resize(length);
    return JoinNative(folder, L"cmd.exe");
}

// Ours, less CD: the '%' guard of the command line relies on cmd.exe's own %CD%.
std::wstring Environment() {
    wchar_t* block = GetEnvironmentStringsW();
    if (!block)
        return WithoutVariable(L"\0", L"CD");
    std::wstring environment = WithoutVariable(block, L"CD");
    FreeEnvironmentStringsW(block);
    return environment;
}

} // namespace

Status LaunchScript(std::string_view script, const std::vector<std::string>& arguments) {
    const auto name = SystemPath(script);
    if (!name)
        return Status::Fail(SystemMessage(ERROR_INVALID_NAME));
    // The current folder's script, by its full path, so that cmd.exe cannot look elsewhere.
    const std::wstring path = WithoutPrefix(FullPath(*name));
    const DWORD attributes = GetFileAttributesW(LongPathSafe(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Status::Fail(LastErrorMessage());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Status::Fail("The script is a folder, not a file.");

    std::vector<std::wstring> wide;
    for (const auto& argument : arguments) {
        auto converted = Widen(argument);
        if (!converted)
            return Status::Fail(SystemMessage(ERROR_NO_UNICODE_TRANSLATION));
        wide.push_back(std::move(*converted));
    }
    const std::wstring interpreter = Interpreter();
    if (interpreter.empty())
        return Status::Fail(LastErrorMessage());
    BatchCommand command = BatchCommandLine(interpreter, path, wide);
    if (!command.refusal.empty())
        return Status::Fail(command.refusal);

    std::wstring environment = Environment();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // A console of its own, so the script's window comes up in front and lives on after we end;
    // none of our handles go with it.
    if (!CreateProcessW(interpreter.c_str(), command.line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        nullptr, &startup, &process))
        return Status::Fail(LastErrorMessage());
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Status::Ok();
}

} // namespace zelvoset::win32
