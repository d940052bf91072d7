// The Windows program: the window, its start-up work before it is shown, then its messages.
#include "Win32Platform.h"
#include "frmZelIns.h"

#include <windows.h>

#include <commctrl.h>

// The program takes no arguments; whatever it is given is ignored.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The manifest asks for common controls 6; this makes sure they are loaded and registered.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    zelvoset::Win32Platform platform;
    zelvoset::frmZelIns form(platform);
    if (!form.Handle())
        return 1;
    platform.SetOwnerWindow(form.Handle());
    form.Form_Load();
    form.Show(showCommand);

    MSG message{};
    platform.SetMessageLoopRunning(true);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!form.HandleDialogKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    platform.SetMessageLoopRunning(false);
    return static_cast<int>(message.wParam);
}
