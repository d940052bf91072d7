// How the window is put together: its controls, their places, fonts and tab order.
#include "ProgramIcon.h"
#include "Twips.h"
#include "frmZelIns.h"

#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace zelvoset {
namespace {

constexpr TwipsBox kClientArea{0, 0, 6630, 4035};

// The installation's screens were drawn for this face; elsewhere the desktop's own sans face
// at the same size keeps the captions inside their boxes.
QFont FormFont() {
    const QString designed = QStringLiteral("MS Sans Serif");
    QFont font = QFontDatabase::families().contains(designed, Qt::CaseInsensitive)
                     ? QFont(designed)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    return font;
}

QFont HeadingFont(const QFont& formFont) {
    QFont font = formFont;
    font.setPointSize(12);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace

void frmZelIns::createControls() {
    setObjectName(QStringLiteral("frmZelIns"));
    setWindowTitle(QStringLiteral("Zelvo Install"));
    setWindowIcon(ProgramIcon());
    // A fixed-size window: no maximize button, and no resize border where the system allows.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ToPixels(kClientArea, logicalDpiX(), logicalDpiY()).size());

    Label1 = addLabel(this, "Label1", QStringLiteral("Select an option to continue."),
                      {480, 360, 4575, 375});
    cmdDemoData = addButton(this, "cmdDemoData", QStringLiteral("Install &demo data"),
                            {360, 1200, 2175, 615});
    lblDemoData = addLabel(this, "lblDemoData", QStringLiteral("Install Zelvo demonstration data"),
                           {2880, 1320, 3015, 495});
    cmdEmptyFiles = addButton(this, "cmdEmptyFiles", QStringLiteral("Install &empty data files"),
                              {360, 2160, 2175, 615});
    lblEmptyFiles = addLabel(this, "lblEmptyFiles",
                             QStringLiteral("Install an initialized set of Zelvo data files for "
                                            "use in a new company setup"),
                             {2880, 2280, 3495, 495});
    cmdFinish = addButton(this, "cmdFinish", QStringLiteral("&Finish"), {360, 3120, 2175, 615});
    lblFinish = addLabel(this, "lblFinish", QString(), {2880, 3240, 3015, 495});
    createFinishPanel();
}

void frmZelIns::createFinishPanel() {
    fraFinish = new QGroupBox(this);
    fraFinish->setObjectName(QStringLiteral("fraFinish"));
    // Opaque, so that nothing of the options shows through once it is up.
    fraFinish->setAutoFillBackground(true);
    place(fraFinish, {120, 120, 6495, 3855});

    Label2 = addLabel(fraFinish, "Label2", QStringLiteral("Installation Complete"),
                      {360, 360, 3975, 615});
    Label3 = addLabel(fraFinish, "Label3",
                      QStringLiteral("The installation process has finished.  To quit this "
                                     "program, click Exit."),
                      {360, 1080, 5295, 975});
    cmdExit = addButton(fraFinish, "cmdExit", QStringLiteral("&Exit"), {240, 3000, 2175, 615});
    fraFinish->hide();
}

void frmZelIns::applyFonts() {
    const QFont formFont = FormFont();
    setFont(formFont);
    Label1->setFont(HeadingFont(formFont));
    Label2->setFont(HeadingFont(formFont));
}

void frmZelIns::arrangeTabOrder() {
    // Labels and the panel take no focus here, so only the buttons are in the chain.
    setTabOrder(cmdDemoData, cmdEmptyFiles);
    setTabOrder(cmdEmptyFiles, cmdFinish);
    setTabOrder(cmdFinish, cmdExit);
}

QLabel* frmZelIns::addLabel(QWidget* container, const char* name, const QString& caption,
                            const TwipsBox& box) {
    auto* label = new QLabel(caption, container);
    label->setObjectName(QString::fromLatin1(name));
    // Captions are shown as written: no markup, no accelerators, blanks kept.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    place(label, box);
    return label;
}

QPushButton* frmZelIns::addButton(QWidget* container, const char* name, const QString& caption,
                                  const TwipsBox& box) {
    auto* button = new QPushButton(caption, container);
    button->setObjectName(QString::fromLatin1(name));
    // Enter presses the focused button, as on any dialog, though this window is no QDialog.
    button->setAutoDefault(true);
    place(button, box);
    return button;
}

void frmZelIns::place(QWidget* control, const TwipsBox& box) {
    control->setGeometry(ToPixels(box, logicalDpiX(), logicalDpiY()));
}

} // namespace zelvoset
