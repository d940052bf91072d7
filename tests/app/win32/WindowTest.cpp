// The Win32 window: drawn from the form's description, and what it does with clicks and keys.
// Under Wine it needs a display (scripts/with-display).
#include "Dialogs.h"
#include "Dpi.h"
#include "FakePlatform.h"
#include "Form.h"
#include "Monitor.h"
#include "Text.h"
#include "frmZelIns.h"

#include <windows.h>

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zelvoset {
namespace {

using testing::FakePlatform;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// A control's box in its container's client pixels: left, top, width, height.
std::array<long, 4> BoxOf(HWND control) {
    RECT box;
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    return {box.left, box.top, box.right - box.left, box.bottom - box.top};
}

// Converted here independently of the window's own rounding.
std::array<long, 4> Pixels(const form::TwipsBox& box, int dpi) {
    auto px = [dpi](int twips) { return std::lround(twips * dpi / 1440.0); };
    return {px(box.left), px(box.top), px(box.width), px(box.height)};
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(form.Handle(), nullptr) << "no window could be created; under Wine the tests "
                                             "need a display: run them in scripts/with-display";
    }
    HWND control(const char* name) { return form.Control(name); }

    // Started the way the program starts it.
    void start() {
        form.Form_Load();
        form.Show(SW_SHOWNORMAL);
        pump();
    }
    // Runs what is queued through the window's dialog keyboard, as the message loop does.
    void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!driven->HandleDialogKeys(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    // A key as the focused control receives it: WM_KEYDOWN for Tab and Enter, WM_SYSCHAR for
    // Alt and a letter.
    void key(UINT message, WPARAM code) {
        PostMessageW(GetFocus(), message, code, 0);
        pump();
    }

    FakePlatform platform;
    frmZelIns form{platform};
    frmZelIns* driven = &form; // the window whose dialog keyboard pump() runs
};

// Questions come up as the system's own boxes, owned by the window while it is still hidden, as
// in the program, and are answered Yes from inside the box's own message loop.
class AskingPlatform : public FakePlatform {
public:
    HWND owner = nullptr;
    int ShowMessage(std::string_view text, int style, std::string_view title) override {
        FakePlatform::ShowMessage(text, style, title);
        SetTimer(nullptr, 0, 100, &AnswerYes);
        return win32::RunMessageBox(owner, text, style, title);
    }

private:
    static void CALLBACK AnswerYes(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND box, LPARAM) {
                wchar_t name[16] = {};
                GetClassNameW(box, name, 16);
                if (std::wstring_view(name) == L"#32770" && IsWindowVisible(box))
                    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
                return TRUE;
            },
            0);
    }
};

TEST_F(Window, EveryControlIsDrawnFromTheDescription) {
    const HWND window = form.Handle();
    const int dpi = static_cast<int>(win32::DpiOf(window));
    EXPECT_EQ(ClassOf(window), L"frmZelIns");
    EXPECT_EQ(TextOf(window), L"Zelvo Install");
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, std::lround(6630 * dpi / 1440.0));
    EXPECT_EQ(client.bottom, std::lround(4035 * dpi / 1440.0));
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) << "the window has a fixed size";
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICON), 0u);
    EXPECT_NE(GetClassLongPtrW(window, GCLP_HICONSM), 0u);

    for (const form::Control& expected : form::Controls()) {
        SCOPED_TRACE(expected.name);
        const HWND shown = control(expected.name);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(GetParent(shown), expected.container ? control(expected.container) : window);
        EXPECT_EQ(TextOf(shown), win32::WidenForDisplay(expected.caption));
        EXPECT_EQ(BoxOf(shown), Pixels(expected.box, dpi));
        const LONG controlStyle = GetWindowLongW(shown, GWL_STYLE);
        switch (expected.kind) {
        case form::Kind::Label:
            EXPECT_EQ(ClassOf(shown), L"Static");
            EXPECT_TRUE(controlStyle & SS_NOPREFIX) << "a label shows its caption as written";
            break;
        case form::Kind::Button:
            EXPECT_EQ(ClassOf(shown), L"Button");
            EXPECT_TRUE(controlStyle & WS_TABSTOP);
            break;
        case form::Kind::Frame:
            EXPECT_TRUE(GetWindowLongW(shown, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
            break;
        }
        EXPECT_EQ(IsWindowVisible(shown), FALSE) << "nothing shows before the window does";
        if (expected.kind != form::Kind::Frame) {
            const LOGFONTW font = FontOf(shown);
            EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
            EXPECT_EQ(font.lfHeight, expected.heading ? -MulDiv(12, dpi, 72) : -MulDiv(8, dpi, 72));
            EXPECT_EQ(font.lfWeight, expected.heading ? FW_BOLD : FW_NORMAL);
        }
    }
    // Tab goes through a container's controls in the order of their windows.
    for (const HWND container : {window, control("fraFinish")}) {
        std::vector<HWND> expected, actual;
        for (const char* name : form::TabOrder())
            if (GetParent(control(name)) == container)
                expected.push_back(control(name));
        for (HWND child = GetWindow(container, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT))
            actual.push_back(child);
        EXPECT_EQ(actual, expected);
    }
    if (dpi == 96) {
        EXPECT_EQ(BoxOf(control("cmdDemoData")), (std::array<long, 4>{24, 80, 145, 41}));
        EXPECT_EQ(client.right, 442);
        EXPECT_EQ(client.bottom, 269);
    }
}

TEST_F(Window, FollowsTheMonitorsResolution) {
    // As the system tells a per-monitor window that moved to a monitor at 150 %.
    RECT suggested{0, 0, 700, 450};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    for (const form::Control& expected : form::Controls()) {
        SCOPED_TRACE(expected.name);
        EXPECT_EQ(BoxOf(control(expected.name)), Pixels(expected.box, 144));
    }
    EXPECT_EQ(BoxOf(control("cmdDemoData")), (std::array<long, 4>{36, 120, 218, 62}));
    EXPECT_EQ(FontOf(control("Label1")).lfHeight, -24);
    EXPECT_EQ(FontOf(control("cmdExit")).lfHeight, -16);

    // The manifest of the program (linked into this test as well) asks for it. The calls that
    // tell are Windows 10's, beyond the headers the program is built with.
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    using Context = HANDLE;
    const auto threadContext = reinterpret_cast<Context(WINAPI*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
    const auto awareness = reinterpret_cast<int(WINAPI*)(Context)>(reinterpret_cast<void (*)()>(
        GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_TRUE(threadContext && awareness);
    EXPECT_EQ(awareness(threadContext()), 2) << "DPI_AWARENESS_PER_MONITOR_AWARE";
}

// Caught: the window left where the system puts a new one (the top left corner), or pushed
// off its monitor's work area when it does not fit.
TEST_F(Window, ComesUpCentredOnTheWorkAreaOfItsMonitor) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(form.Handle(), MONITOR_DEFAULTTONULL), &monitor));
    const RECT& work = monitor.rcWork;
    RECT frame;
    GetWindowRect(form.Handle(), &frame);
    EXPECT_NEAR(frame.left - work.left, work.right - frame.right, 1);
    EXPECT_NEAR(frame.top - work.top, work.bottom - frame.bottom, 1);
    const POINT corner = win32::CentredIn({100, 50, 500, 350}, {600, 100});
    EXPECT_EQ(corner.x, 100);
    EXPECT_EQ(corner.y, 150);
}

TEST_F(Window, StartUpComesBeforeTheWindowAndSetsTheEmptyFilesButton) {
    platform.probes["PBS.BAT"] = Probe::Found;
    form.Form_Load();
    EXPECT_EQ(form.InstallVariant(), Layout::PBS);
    EXPECT_EQ(platform.EventsOf("launch").size(), 2u);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
    EXPECT_FALSE(IsWindowEnabled(control("cmdEmptyFiles")));

    FakePlatform none;
    frmZelIns other(none);
    other.Form_Load();
    EXPECT_TRUE(IsWindowEnabled(other.Control("cmdEmptyFiles")));
}

TEST_F(Window, KeysReachTheOptionsInTabOrder) {
    start(); // no layout
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_FALSE(IsWindowVisible(control("fraFinish")));
    ASSERT_EQ(GetFocus(), control("cmdDemoData"));
    key(WM_KEYDOWN, VK_RETURN);
    ASSERT_EQ(platform.launches.size(), 1u) << "Enter presses the focused button";
    EXPECT_EQ(platform.launches[0].script, "svreset.bat");

    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), control("cmdEmptyFiles"));
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), control("cmdFinish"));
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), control("cmdDemoData")) << "Exit is not reachable yet";

    key(WM_SYSCHAR, 'e');
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Required file missing, empty files cannot be initialized");
    EXPECT_EQ(platform.ended, 0);
}

TEST_F(Window, AfterAStartUpQuestionTheFirstButtonStillHasTheFocus) {
    AskingPlatform asking;
    asking.probes["SV\\*.*"] = Probe::Found; // CP, and its switch line is missing
    asking.files["C:\\APP\\SYNRUN.SYN"].bytes = "SYNRUN=ZELVO\r\n";
    frmZelIns asked(asking);
    asking.owner = asked.Handle();
    driven = &asked;
    asked.Form_Load();
    ASSERT_EQ(asking.messages.size(), 1u) << "the switch line question";
    asked.Show(SW_SHOWNORMAL);
    pump();
    EXPECT_EQ(GetFocus(), asked.Control("cmdDemoData"));
    key(WM_KEYDOWN, VK_RETURN);
    ASSERT_EQ(asking.launches.size(), 1u) << "Enter presses the focused button";
    EXPECT_EQ(asking.launches[0].script, "svreset.bat");
}

TEST_F(Window, FinishLeavesOnlyExitReachableAndExitEnds) {
    platform.probes["SV\\*.*"] =
        Probe::Found; // CP: empty files stays enabled, Alt+E could reach it
    start();
    platform.events.clear();

    key(WM_SYSCHAR, 'f');
    EXPECT_TRUE(IsWindowVisible(control("fraFinish")));
    EXPECT_EQ(GetFocus(), control("cmdExit"));
    for (const form::Control& option : form::Controls()) {
        if (form::IsOption(option)) {
            EXPECT_FALSE(IsWindowVisible(control(option.name))) << option.name;
        }
    }
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), control("cmdExit"));
    key(WM_SYSCHAR, 'd');
    EXPECT_TRUE(platform.events.empty()) << "the demo data button is under the panel";

    key(WM_SYSCHAR, 'e');
    EXPECT_EQ(platform.ended, 1);
    EXPECT_TRUE(platform.EventsOf("browse").empty()) << "Alt+E must mean Exit, not empty files";
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

TEST_F(Window, TheCloseBoxEndsTheProgramLikeExit) {
    start();
    SendMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(platform.ended, 1);
    EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

} // namespace
} // namespace zelvoset
