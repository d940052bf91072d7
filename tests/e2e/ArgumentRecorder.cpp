// The installation's scripts, as stand-ins under Windows: each batch file hands its whole
// command line to this program (`zelvoset-record.exe NAME %*`), which writes down, as UTF-8,
// exactly what reached it, where echo in a batch file would mangle '&', '^', '%' and accents:
//   NAME.args     per launch: the command line as the system gives it, then each argument
//                 after NAME on a line of its own, then an empty line;
//   launched.log  per launch: "NAME [argument]...", the line the Linux stand-ins write.
// Both lie beside this program, in the installation.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// Appends in one write, holding the file to itself meanwhile: scripts started together record
// at the same moment, and their lines must not interleave.
bool Append(const std::wstring& path, const std::string& bytes) {
    for (int tries = 0; tries < 500; ++tries) {
        const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_SHARING_VIOLATION)
                return false;
            Sleep(10);
            continue;
        }
        DWORD written = 0;
        const bool ok =
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
        CloseHandle(file);
        return ok;
    }
    return false;
}

} // namespace

int wmain() {
    const std::wstring commandLine = GetCommandLineW();
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    if (!arguments || count < 2)
        return 2;
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(folder.size() * 2);
    }
    folder.resize(folder.find_last_of(L'\\') + 1);

    const std::wstring name = arguments[1];
    std::string record = Utf8(commandLine) + "\n";
    std::string line = Utf8(name);
    for (int i = 2; i < count; ++i) {
        record += Utf8(arguments[i]) + "\n";
        line += " [" + Utf8(arguments[i]) + "]";
    }
    record += "\n";
    LocalFree(arguments);
    const bool recorded =
        Append(folder + name + L".args", record) && Append(folder + L"launched.log", line + "\r\n");
    return recorded ? 0 : 1;
}
