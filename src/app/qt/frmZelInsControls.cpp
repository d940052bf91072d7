// How the Qt window draws the form's description: its controls, places, fonts and tab order.
#include "Accessible.h"
#include "Form.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "frmZelIns.h"

#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace zelvoset {
namespace {

// The installation's screens were drawn for this face; elsewhere the desktop's own sans face
// at the same size keeps the captions inside their boxes.
QFont QtFont(const form::Font& designed) {
    const QString face = QString::fromLatin1(designed.face);
    QFont font = QFontDatabase::families().contains(face, Qt::CaseInsensitive)
                     ? QFont(face)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(designed.points);
    font.setWeight(designed.weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

QLabel* NewLabel(const form::Control& control, QWidget* container) {
    const QString caption = QString::fromLatin1(control.caption);
    auto* label =
        control.heading ? new HeadingLabel(caption, container) : new QLabel(caption, container);
    // Captions are shown as written: no markup, no accelerators, blanks kept.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QPushButton* NewButton(const form::Control& control, QWidget* container) {
    auto* button = new QPushButton(QString::fromLatin1(control.caption), container);
    // Enter presses the focused button, as on any dialog, though this window is no QDialog.
    button->setAutoDefault(true);
    return button;
}

QGroupBox* NewFrame(const form::Control& control, QWidget* container) {
    auto* frame = new QGroupBox(QString::fromLatin1(control.caption), container);
    // Opaque, so that nothing of the options shows through once it is up.
    frame->setAutoFillBackground(true);
    return frame;
}

} // namespace

void frmZelIns::createControls() {
    setObjectName(QString::fromLatin1(form::kFormName));
    setWindowTitle(QString::fromLatin1(form::kCaption));
    setWindowIcon(ProgramIcon());
    // A fixed-size window: no maximize button, and no resize border where the system allows.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ToPixels(form::kClientArea, logicalDpiX(), logicalDpiY()).size());

    const QFont formFont = QtFont(form::kFormFont);
    setFont(formFont);
    for (const form::Control& control : form::Controls()) {
        QWidget* container = control.container ? controls_.value(control.container) : this;
        QWidget* widget = nullptr;
        switch (control.kind) {
        case form::Kind::Label:
            widget = NewLabel(control, container);
            break;
        case form::Kind::Button:
            widget = NewButton(control, container);
            break;
        case form::Kind::Frame:
            widget = NewFrame(control, container);
            break;
        }
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setGeometry(ToPixels(control.box, logicalDpiX(), logicalDpiY()));
        if (control.heading)
            widget->setFont(QtFont(form::kHeadingFont));
        if (control.hiddenAtStart)
            widget->hide();
        controls_.insert(QString::fromLatin1(control.name), widget);
    }
    DescribeForAssistiveTechnology(*this, controls_);

    fraFinish = controlNamed<QGroupBox>("fraFinish");
    cmdDemoData = controlNamed<QPushButton>("cmdDemoData");
    cmdEmptyFiles = controlNamed<QPushButton>("cmdEmptyFiles");
    cmdFinish = controlNamed<QPushButton>("cmdFinish");
    cmdExit = controlNamed<QPushButton>("cmdExit");
}

void frmZelIns::centre() {
    // The window manager would put a window without a position where it finds room (openbox:
    // in a free corner, away from the installer that started the program): centred instead.
    if (const QScreen* where = screen())
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 where->availableGeometry())
                 .topLeft());
}

void frmZelIns::arrangeTabOrder() {
    // Labels and the panel take no focus here, so only the buttons join the chain; the first of
    // them is the active control when the window is shown.
    QWidget* previous = nullptr;
    for (const char* name : form::TabOrder()) {
        QWidget* control = controls_.value(QString::fromLatin1(name));
        if (control->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            setTabOrder(previous, control);
        else
            control->setFocus();
        previous = control;
    }
}

} // namespace zelvoset
