#pragma once

#include "InInstallation.h"
#include "Paths.h"
#include "ScriptedPlatform.h"
#include "Text.h"
#include "Win32Platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

namespace zelvoset::testing {

inline std::wstring Wide(const std::string& text) {
    return win32::Widen(text).value();
}

using ScriptedPlatform = Scripted<Win32Platform>;

// While it lives, every call this program makes of one system function reaches `replacement`
// instead: the function's slot in the import table, which the whole statically linked program
// shares, points there. Some of what Windows does, Wine never shows (write-through, reparse
// points, a program that is not elevated); tests check there what the code asks of the system,
// or what it makes of an answer that only Windows gives. Declare the slot with IMPORT_SLOT.
#define IMPORT_SLOT(function) extern "C" decltype(&function) __imp_##function
template <class Function> class Intercept {
public:
    Intercept(Function*& slot, std::type_identity_t<Function>* replacement)
        : slot_(slot), original_(slot) {
        Set(replacement);
    }
    ~Intercept() { Set(original_); }
    Intercept(const Intercept&) = delete;
    Intercept& operator=(const Intercept&) = delete;

private:
    void Set(Function* to) {
        DWORD was = 0;
        VirtualProtect(&slot_, sizeof slot_, PAGE_READWRITE, &was);
        slot_ = to;
        VirtualProtect(&slot_, sizeof slot_, was, &was);
    }
    Function*& slot_;
    Function* const original_;
};

} // namespace zelvoset::testing

IMPORT_SLOT(GetTokenInformation);

namespace zelvoset::testing {

// Taken before any test points the slot elsewhere.
inline const auto realGetTokenInformation = __imp_GetTokenInformation;

// A token that is not elevated, as Windows gives an unelevated program (under Wine every program
// is elevated); everything else as the system says.
inline BOOL WINAPI NotElevated(HANDLE token, TOKEN_INFORMATION_CLASS what, void* out, DWORD size,
                               DWORD* needed) {
    if (!realGetTokenInformation(token, what, out, size, needed))
        return FALSE;
    if (what == TokenElevation)
        static_cast<TOKEN_ELEVATION*>(out)->TokenIsElevated = 0;
    return TRUE;
}

// A fresh folder under the system's temporary folder, the current folder for the test.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::wstring folder = std::wstring(temp) + L"zelvoset-" + Wide(test->name()) + L"-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount64());
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
        root_ = win32::Narrow(folder).value();
        wchar_t previous[MAX_PATH + 1];
        GetCurrentDirectoryW(MAX_PATH + 1, previous);
        previous_ = previous;
        ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryW(previous_.c_str());
        Remove(LR"(\\?\)" + Wide(root_));
    }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
    // The test's own access works however deep the folder.
    std::wstring System(const std::string& relative) const {
        return win32::LongPathSafe(Wide(Path(relative)));
    }
    void Write(const std::string& relative, const std::string& bytes) const {
        const HANDLE file = CreateFileW(System(relative).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative << ": " << GetLastError();
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_TRUE(ok && written == bytes.size());
    }
    std::string Read(const std::string& relative) const {
        const HANDLE file = CreateFileW(System(relative).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "<unreadable>";
        std::string bytes;
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes.append(buffer, got);
        CloseHandle(file);
        return bytes;
    }
    void MakeDir(const std::string& relative) const {
        std::filesystem::create_directories(System(relative));
    }
    // Every entry of a folder, hidden ones included, in byte order: shows leftovers.
    std::vector<std::string> List(const std::string& relative = ".") const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Wide(Path(relative))))
            names.push_back(win32::Narrow(entry.path().filename().wstring()).value());
        std::sort(names.begin(), names.end());
        return names;
    }
    DWORD Attributes(const std::string& relative) const {
        return GetFileAttributesW(Wide(Path(relative)).c_str());
    }
    void SetAttributes(const std::string& relative, DWORD attributes) const {
        ASSERT_TRUE(SetFileAttributesW(Wide(Path(relative)).c_str(), attributes));
    }

    void MakeReadOnly(const std::string& relative) const {
        SetAttributes(relative, FILE_ATTRIBUTE_READONLY);
    }

    std::string root_;

private:
    // std::filesystem cannot remove what lies deeper than MAX_PATH under mingw, nor read-only
    // files.
    static void Remove(const std::wstring& path) {
        WIN32_FIND_DATAW entry;
        const HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (listing != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                const std::wstring inner = path + L"\\" + name;
                SetFileAttributesW(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW(inner.c_str());
                else if (name != L"." && name != L"..")
                    Remove(inner);
            } while (FindNextFileW(listing, &entry));
            FindClose(listing);
        }
        RemoveDirectoryW(path.c_str());
    }

    std::wstring previous_;
};

using InInstallation = InInstallationOf<InTempDir, ScriptedPlatform>;

} // namespace zelvoset::testing
