// What the window does with start-up results, clicks and keys.
#include "FakePlatform.h"
#include "frmZelIns.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

#include <map>

namespace zelvoset {
namespace {

using testing::FakePlatform;

// A platform that finds the marker of one layout.
void ScriptLayout(FakePlatform& platform, Layout layout) {
    static const std::map<Layout, const char*> kMarkerOf = {{Layout::RW, "SVOBJ\\*.*"},
                                                            {Layout::RW9, "CLASSIC9.ICO"},
                                                            {Layout::PBS, "PBS.BAT"},
                                                            {Layout::CP, "SV\\*.*"}};
    platform.probes[kMarkerOf.at(layout)] = Probe::Found;
}

class Window : public ::testing::Test {
protected:
    QPushButton* button(const char* name) { return form.findChild<QPushButton*>(name); }
    QWidget* panel() { return form.findChild<QGroupBox*>("fraFinish"); }

    // Started the way main starts it, and made the active window so that keys reach it.
    void start() {
        form.Form_Load();
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    // An accelerator pushes its button down and clicks it a moment later; wait for the click.
    void accelerator(Qt::Key key) {
        press(key, Qt::AltModifier);
        const auto buttons = form.findChildren<QPushButton*>();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return std::none_of(buttons.begin(), buttons.end(),
                                [](QPushButton* b) { return b->isDown(); });
        }));
    }

    FakePlatform platform;
    frmZelIns form{platform};
};

TEST_F(Window, StartUpDisablesEmptyFilesOnlyForLayoutsThatInitialiseAtOnce) {
    for (const std::optional<Layout> layout :
         {std::optional(Layout::PBS), std::optional(Layout::RW), std::optional(Layout::RW9),
          std::optional(Layout::CP), std::optional<Layout>()}) {
        SCOPED_TRACE(::testing::PrintToString(layout));
        FakePlatform fake;
        if (layout)
            ScriptLayout(fake, *layout);
        frmZelIns window(fake);
        window.Form_Load();
        EXPECT_EQ(window.InstallVariant(), layout);
        const bool initialisedAtOnce = layout && layout != Layout::CP;
        EXPECT_EQ(window.findChild<QPushButton*>("cmdEmptyFiles")->isEnabled(), !initialisedAtOnce);
        EXPECT_EQ(fake.EventsOf("launch").size(), layout == Layout::PBS ? 2u : initialisedAtOnce);
        EXPECT_FALSE(window.isVisible()) << "start-up work comes before the window";
    }
}

TEST_F(Window, OpensOnTheOptionsWithDemoDataFocusedAndTabsThroughTheButtons) {
    start();
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), button("cmdDemoData"));
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdEmptyFiles"));
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdFinish"));
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdDemoData")) << "Exit is not reachable yet";
}

TEST_F(Window, DisabledEmptyFilesIsSkippedByTabAndItsAccelerator) {
    ScriptLayout(platform, Layout::RW);
    start();
    platform.events.clear();
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdFinish"));
    accelerator(Qt::Key_E);
    EXPECT_TRUE(platform.events.empty());
    EXPECT_EQ(platform.ended, 0);
}

TEST_F(Window, ButtonsAndAcceleratorsStartTheirActions) {
    start(); // no layout
    button("cmdDemoData")->click();
    ASSERT_EQ(platform.launches.size(), 1u);
    EXPECT_EQ(platform.launches[0].script, "svreset.bat");

    accelerator(Qt::Key_D);
    EXPECT_EQ(platform.launches.size(), 2u);

    accelerator(Qt::Key_E);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0],
              (FakePlatform::Message{"Required file missing, empty files cannot be initialized",
                                     kStyleError, ""}));

    platform.launchFailures["svreset.bat"] = "not found";
    press(Qt::Key_Space); // Alt+E left the focus on the empty files button
    ASSERT_EQ(platform.messages.size(), 2u);
    button("cmdDemoData")->click();
    ASSERT_EQ(platform.messages.size(), 3u);
    EXPECT_EQ(platform.messages[2].text,
              "Svreset batch file missing, demo data cannot be installed");
    EXPECT_EQ(platform.ended, 0);
}

TEST_F(Window, FinishCoversTheOptionsAndLeavesOnlyExitReachable) {
    ScriptLayout(platform, Layout::CP); // empty files stays enabled: Alt+E could reach it
    start();
    platform.events.clear();

    accelerator(Qt::Key_F);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), button("cmdExit"));
    EXPECT_FALSE(button("cmdEmptyFiles")->isVisible());

    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdExit"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), button("cmdExit"));
    accelerator(Qt::Key_D);
    EXPECT_TRUE(platform.events.empty()) << "the demo data button is under the panel";

    accelerator(Qt::Key_E);
    EXPECT_EQ(platform.ended, 1);
    EXPECT_TRUE(platform.EventsOf("browse").empty()) << "Alt+E must mean Exit, not empty files";
    EXPECT_FALSE(form.isVisible());
}

TEST_F(Window, ExitAndTheTitleBarBothEndTheProgram) {
    start();
    button("cmdFinish")->click();
    button("cmdExit")->click();
    EXPECT_EQ(platform.ended, 1);
    EXPECT_FALSE(form.isVisible());

    FakePlatform other;
    frmZelIns window(other);
    window.Form_Load();
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(other.ended, 1);
}

TEST_F(Window, EnterPressesTheFocusedButton) {
    start();
    press(Qt::Key_Return);
    EXPECT_EQ(platform.launches.size(), 1u);
}

} // namespace
} // namespace zelvoset
