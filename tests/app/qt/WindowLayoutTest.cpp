// What the user sees before touching anything: captions, places, fonts, icon.
#include "FakePlatform.h"
#include "frmZelIns.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace zelvoset {
namespace {

struct Expected {
    const char* name;
    const char* container;
    QString caption;
    int left, top, width, height; // twips
};

// The form as designed, in twips; converted here independently of the window's own table.
const Expected kControls[] = {
    {"Label1", "frmZelIns", "Select an option to continue.", 480, 360, 4575, 375},
    {"cmdDemoData", "frmZelIns", "Install &demo data", 360, 1200, 2175, 615},
    {"lblDemoData", "frmZelIns", "Install Zelvo demonstration data", 2880, 1320, 3015, 495},
    {"cmdEmptyFiles", "frmZelIns", "Install &empty data files", 360, 2160, 2175, 615},
    {"lblEmptyFiles", "frmZelIns",
     "Install an initialized set of Zelvo data files for use in a new company setup", 2880, 2280,
     3495, 495},
    {"cmdFinish", "frmZelIns", "&Finish", 360, 3120, 2175, 615},
    {"lblFinish", "frmZelIns", "", 2880, 3240, 3015, 495},
    {"fraFinish", "frmZelIns", "", 120, 120, 6495, 3855},
    {"Label2", "fraFinish", "Installation Complete", 360, 360, 3975, 615},
    {"Label3", "fraFinish",
     "The installation process has finished.  To quit this program, click Exit.", 360, 1080, 5295,
     975},
    {"cmdExit", "fraFinish", "&Exit", 240, 3000, 2175, 615},
};

int Pixels(int twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

QString CaptionOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(control))
        return button->text();
    return qobject_cast<QGroupBox*>(control)->title();
}

TEST(WindowLayout, EveryControlHasItsCaptionPlaceAndContainer) {
    testing::FakePlatform platform;
    frmZelIns form(platform);
    const int dpiX = form.logicalDpiX();
    const int dpiY = form.logicalDpiY();

    EXPECT_EQ(form.windowTitle(), "Zelvo Install");
    EXPECT_EQ(form.size(), QSize(Pixels(6630, dpiX), Pixels(4035, dpiY)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the window is not resizable";

    for (const auto& expected : kControls) {
        SCOPED_TRACE(expected.name);
        auto* control = form.findChild<QWidget*>(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), expected.container);
        EXPECT_EQ(CaptionOf(control), expected.caption);
        EXPECT_EQ(control->geometry(),
                  QRect(Pixels(expected.left, dpiX), Pixels(expected.top, dpiY),
                        Pixels(expected.width, dpiX), Pixels(expected.height, dpiY)));
    }
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(form.findChild<QWidget*>("cmdDemoData")->geometry(), QRect(24, 80, 145, 41));
        EXPECT_EQ(form.size(), QSize(442, 269));
    }
}

TEST(WindowLayout, LabelsWrapInTheirBoxesAndShowCaptionsAsWritten) {
    testing::FakePlatform platform;
    frmZelIns form(platform);
    for (auto* label : form.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_TRUE(label->wordWrap());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    }
    // The longest caption must fit its box at the chosen font, or its last words are cut off.
    auto* label3 = form.findChild<QLabel*>("Label3");
    EXPECT_LE(label3->heightForWidth(label3->width()), label3->height());
    auto* emptyFiles = form.findChild<QLabel*>("lblEmptyFiles");
    EXPECT_LE(emptyFiles->heightForWidth(emptyFiles->width()), emptyFiles->height());
}

TEST(WindowLayout, HeadingsAreBoldTwelvePointAndTheRestEightPoint) {
    testing::FakePlatform platform;
    frmZelIns form(platform);
    const bool designedFace =
        QFontDatabase::families().contains("MS Sans Serif", Qt::CaseInsensitive);
    const QString family = designedFace
                               ? QString("MS Sans Serif")
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();

    for (const char* heading : {"Label1", "Label2"}) {
        const QFont font = form.findChild<QLabel*>(heading)->font();
        EXPECT_EQ(font.pointSize(), 12) << heading;
        EXPECT_EQ(font.weight(), QFont::Bold) << heading;
        EXPECT_EQ(font.family(), family) << heading;
    }
    for (const char* plain : {"lblDemoData", "Label3", "cmdDemoData", "cmdExit"}) {
        const QFont font = form.findChild<QWidget*>(plain)->font();
        EXPECT_EQ(font.pointSize(), 8) << plain;
        EXPECT_EQ(font.weight(), QFont::Normal) << plain;
        EXPECT_EQ(font.family(), family) << plain;
    }
}

TEST(WindowLayout, CarriesTheDrawnIconInBothSizes) {
    testing::FakePlatform platform;
    frmZelIns form(platform);
    const QIcon icon = form.windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_FALSE(icon.pixmap(32, 32).toImage().isNull());
}

} // namespace
} // namespace zelvoset
