#include "ProgramIcon.h"

#include "Platform.h"

#include <QApplication>

namespace zelvoset {

QIcon ProgramIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/zelvoset-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/zelvoset-32.png"), QSize(32, 32));
    return icon;
}

void ConfigureApplication() {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setWindowIcon(ProgramIcon());
}

} // namespace zelvoset
