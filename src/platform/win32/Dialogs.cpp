#include "Dialogs.h"

#include "DialogRules.h"
#include "Paths.h"
#include "Text.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace zelvoset::win32 {
namespace {

UINT BoxType(int style) {
    switch (style) {
    case kStyleQuestion:
        return MB_ICONQUESTION | MB_YESNO;
    case kStyleWarning:
        return MB_ICONEXCLAMATION | MB_OK;
    case kStyleError:
    default:
        return MB_ICONSTOP | MB_OK;
    }
}

// The folder the dialog opens in, absolute: "" and "." are the current folder at this moment.
std::wstring StartFolder(const std::string& initDir) {
    const auto folder = Widen(initDir.empty() ? "." : initDir);
    return FullPath(folder && !folder->empty() ? *folder : L".");
}

} // namespace

int RunMessageBox(HWND owner, std::string_view text, int style, std::string_view title) {
    const std::wstring caption = WidenForDisplay(BoxTitle(title));
    // Boxes come at start-up too, before any window of ours is active: the box takes the front.
    // Without an owner it still holds every window of the program (task modal).
    UINT type = BoxType(style) | MB_SETFOREGROUND;
    if (!owner)
        type |= MB_TASKMODAL;
    switch (MessageBoxW(owner, WidenForDisplay(text).c_str(), caption.c_str(), type)) {
    case IDYES:
        return AnswerOf(BoxButton::Yes, style);
    case IDNO:
        return AnswerOf(BoxButton::No, style);
    case IDOK:
        return AnswerOf(BoxButton::Ok, style);
    default:
        return AnswerOf(BoxButton::None, style);
    }
}

std::optional<std::string> RunOpenFileDialog(HWND owner, const BrowseRequest& request) {
    const std::wstring title = WidenForDisplay(request.title);
    const std::wstring start = StartFolder(request.initDir);
    const std::wstring filter = DialogFilter(request.filter);
    std::wstring extension = WidenForDisplay(request.defaultExt);
    if (extension.starts_with(L'.'))
        extension.erase(0, 1);
    // Room for the longest path the system has, so the dialog never reports FNERR_BUFFERTOOSMALL
    // after the user chose: retrying with a larger buffer would mean asking again.
    std::vector<wchar_t> file(32768, L'\0');
    // The start folder goes in front of the proposed name, not into lpstrInitialDir. By the
    // documented order of the dialog's rules (OPENFILENAME, Windows 7 and later) a path in
    // lpstrFile wins over every folder but the one remembered for this program whenever
    // lpstrInitialDir repeats the first one it was ever given, and with no lpstrInitialDir there
    // is none to repeat: the dialog starts in the installation, never in a folder left from
    // another run or another installation. Nor is anything in the folder's name expanded, as
    // Wine does to lpstrInitialDir ("p%PATH%q").
    std::wstring proposed = start;
    if (!proposed.empty() && proposed.back() != L'\\')
        proposed += L'\\';
    proposed += WidenForDisplay(request.fileName);
    proposed = proposed.substr(0, file.size() - 1);
    std::copy(proposed.begin(), proposed.end(), file.begin());

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // OFN_NOCHANGEDIR is documented as ineffective for the Open dialog; the caller sets the
    // current folder back itself.
    dialog.Flags =
        OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_EXPLORER;
    // A cancel (CommDlgExtendedError() 0) and a failure of the dialog end alike: nothing chosen.
    if (!GetOpenFileNameW(&dialog))
        return std::nullopt;
    return Narrow(file.data());
}

std::wstring DialogFilter(std::string_view filter) {
    std::wstring pairs;
    for (const FilterEntry& entry : ParseFilter(filter))
        pairs +=
            WidenForDisplay(entry.description) + L'\0' + WidenForDisplay(entry.pattern) + L'\0';
    if (!pairs.empty())
        pairs += L'\0';
    return pairs;
}

} // namespace zelvoset::win32
