// Starts exactly as the program does, then says "shown" once the window is on screen and leaves
// at once: the benchmark times process start to that word.
#include "Process.h"
#include "ProgramIcon.h"
#include "QtPlatform.h"
#include "frmZelIns.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    zelvoset::PrepareProcess();
    QApplication app(argc, argv);
    zelvoset::ConfigureApplication();
    zelvoset::QtPlatform platform;
    zelvoset::frmZelIns form(platform);
    form.Form_Load();
    form.show();
    QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        std::quick_exit(0);
    });
    return app.exec();
}
