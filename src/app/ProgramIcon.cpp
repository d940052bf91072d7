#include "ProgramIcon.h"

#include <QApplication>

namespace zelvoset {

QIcon ProgramIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/zelvoset-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/zelvoset-32.png"), QSize(32, 32));
    return icon;
}

void ConfigureApplication() {
    QApplication::setApplicationName(QStringLiteral("Zelvo Install"));
    QApplication::setWindowIcon(ProgramIcon());
}

} // namespace zelvoset
