#include "frmZelIns.h"

#include "Form.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace zelvoset {

frmZelIns::frmZelIns(Platform& platform, QWidget* parent) : QWidget(parent), installer_(platform) {
    createControls();
    arrangeTabOrder();
    connectEvents();
    centre();
}

void frmZelIns::Form_Load() {
    cmdEmptyFiles->setEnabled(installer_.Form_Load());
}

void frmZelIns::cmdDemoData_Click() {
    installer_.cmdDemoData_Click();
}

void frmZelIns::cmdEmptyFiles_Click() {
    installer_.cmdEmptyFiles_Click();
}

void frmZelIns::cmdFinish_Click() {
    for (const form::Control& control : form::Controls()) {
        const auto shown = form::AfterFinish(control);
        if (!shown)
            continue;
        QWidget* widget = controls_.value(QString::fromLatin1(control.name));
        widget->setVisible(shown->visible);
        widget->setEnabled(shown->enabled);
    }
    fraFinish->raise();
    controlNamed<QWidget>(form::kFocusAfterFinish)->setFocus();
}

void frmZelIns::cmdExit_Click() {
    unload();
}

void frmZelIns::closeEvent(QCloseEvent* event) {
    event->accept();
    unload();
}

void frmZelIns::unload() {
    hide();
    installer_.cmdExit_Click();
}

void frmZelIns::connectEvents() {
    connect(cmdDemoData, &QPushButton::clicked, this, &frmZelIns::cmdDemoData_Click);
    connect(cmdEmptyFiles, &QPushButton::clicked, this, &frmZelIns::cmdEmptyFiles_Click);
    connect(cmdFinish, &QPushButton::clicked, this, &frmZelIns::cmdFinish_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmZelIns::cmdExit_Click);
}

} // namespace zelvoset
