#include "Process.h"
#include "ProgramIcon.h"
#include "QtPlatform.h"
#include "frmZelIns.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    zelvoset::PrepareProcess();

    QApplication app(argc, argv);
    // Only the name, not a display name: Qt would append a display name to every title,
    // and the message boxes must show their titles exactly as worded.
    QApplication::setApplicationName(QStringLiteral("Zelvo Install"));
    QApplication::setWindowIcon(zelvoset::ProgramIcon());

    zelvoset::QtPlatform platform;
    zelvoset::frmZelIns form(platform);
    form.Form_Load();
    form.show();
    return app.exec();
}
