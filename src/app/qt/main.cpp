#include "Process.h"
#include "ProgramIcon.h"
#include "QtPlatform.h"
#include "frmZelIns.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    zelvoset::PrepareProcess();

    // The program takes no arguments, and Qt's own options (-platform, -qwindowtitle,
    // -qwindowgeometry, -style, ...) are arguments too: Qt sees the program's name alone. The
    // platform is still chosen the usual way, through QT_QPA_PLATFORM.
    static char fallbackName[] = "Zelvoset";
    char* programName[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int programArgc = 1;
    QApplication app(programArgc, programName);
    zelvoset::ConfigureApplication();

    zelvoset::QtPlatform platform;
    zelvoset::frmZelIns form(platform);
    form.Form_Load();
    form.show();
    return app.exec();
}
