#include "Process.h"
#include "ProgramIcon.h"
#include "QtPlatform.h"
#include "frmZelIns.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    zelvoset::PrepareProcess();

    QApplication app(argc, argv);
    zelvoset::ConfigureApplication();

    zelvoset::QtPlatform platform;
    zelvoset::frmZelIns form(platform);
    form.Form_Load();
    form.show();
    return app.exec();
}
