#include "frmZelIns.h"

#include "Form.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace zelvoset {

frmZelIns::frmZelIns(Platform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform), installer_(platform) {
    createControls();
    arrangeTabOrder();
    connectEvents();
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
    fraFinish->show();
    fraFinish->raise();
    // The panel covers the options; they must not stay reachable underneath it, or Tab would
    // wander onto hidden buttons and Alt+E would start the empty data files instead of Exit.
    for (const form::Control& control : form::Controls()) {
        if (form::IsOption(control))
            controls_.value(QString::fromLatin1(control.name))->hide();
    }
    cmdExit->setFocus();
}

void frmZelIns::cmdExit_Click() {
    unload();
}

void frmZelIns::closeEvent(QCloseEvent* event) {
    event->accept();
    unload();
}

void frmZelIns::unload() {
    // Ending the program may close the window again; it must end only once.
    if (unloaded_)
        return;
    unloaded_ = true;
    hide();
    platform_.EndProgram();
}

void frmZelIns::connectEvents() {
    connect(cmdDemoData, &QPushButton::clicked, this, &frmZelIns::cmdDemoData_Click);
    connect(cmdEmptyFiles, &QPushButton::clicked, this, &frmZelIns::cmdEmptyFiles_Click);
    connect(cmdFinish, &QPushButton::clicked, this, &frmZelIns::cmdFinish_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmZelIns::cmdExit_Click);
}

} // namespace zelvoset
