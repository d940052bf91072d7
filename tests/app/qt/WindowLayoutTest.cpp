// What the user sees before touching anything: captions, places, fonts, icon.
#include "FakePlatform.h"
#include "Form.h"
#include "frmZelIns.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include <tuple>

namespace zelvoset {
namespace {

QString CaptionOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(control))
        return button->text();
    return qobject_cast<QGroupBox*>(control)->title();
}

TEST(WindowLayout, EveryControlHasItsCaptionPlaceAndContainer) {
    testing::FakePlatform platform;
    frmZelIns window(platform);
    const int dpiX = window.logicalDpiX();
    const int dpiY = window.logicalDpiY();

    EXPECT_EQ(window.windowTitle(), "Zelvo Install");
    EXPECT_EQ(window.size(), QSize(form::TwipsToPixels(form::kClientArea.width, dpiX),
                                   form::TwipsToPixels(form::kClientArea.height, dpiY)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window is not resizable";
    // Caught: the window left where the window manager finds room, not centred on its screen.
    const QPoint off = window.geometry().center() - window.screen()->availableGeometry().center();
    EXPECT_LE(off.manhattanLength(), 2) << off.x() << "," << off.y();

    for (const form::Control& expected : form::Controls()) {
        SCOPED_TRACE(expected.name);
        auto* control = window.findChild<QWidget*>(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(),
                  expected.container ? expected.container : form::kFormName);
        EXPECT_EQ(CaptionOf(control), QString::fromUtf8(expected.caption));
        const form::TwipsBox& box = expected.box;
        EXPECT_EQ(control->geometry(),
                  QRect(form::TwipsToPixels(box.left, dpiX), form::TwipsToPixels(box.top, dpiY),
                        form::TwipsToPixels(box.width, dpiX),
                        form::TwipsToPixels(box.height, dpiY)));
    }
    if (dpiX == 96 && dpiY == 96) {
        EXPECT_EQ(window.findChild<QWidget*>("cmdDemoData")->geometry(), QRect(24, 80, 145, 41));
        EXPECT_EQ(window.size(), QSize(442, 269));
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

    const std::tuple<const char*, int, QFont::Weight> fonts[] = {
        {"Label1", 12, QFont::Bold},       {"Label2", 12, QFont::Bold},
        {"lblDemoData", 8, QFont::Normal}, {"Label3", 8, QFont::Normal},
        {"cmdDemoData", 8, QFont::Normal}, {"cmdExit", 8, QFont::Normal}};
    for (const auto& [name, points, weight] : fonts) {
        const QFont font = form.findChild<QWidget*>(name)->font();
        EXPECT_EQ(font.pointSize(), points) << name;
        EXPECT_EQ(font.weight(), weight) << name;
        EXPECT_EQ(font.family(), family) << name;
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
