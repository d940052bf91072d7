// The least a Qt program does to show a window: the yardstick for the installer's start-up.
// With the argument "text" the window also shows a label and a button, which makes Qt start its
// font system: a cost that any window showing words pays, whatever it does besides.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(442, 269);
    if (argc > 1 && std::strcmp(argv[1], "text") == 0) {
        auto* label = new QLabel(QStringLiteral("Select an option to continue."), &window);
        label->move(32, 24);
        auto* button = new QPushButton(QStringLiteral("Install &demo data"), &window);
        button->setGeometry(24, 80, 145, 41);
    }
    window.show();
    QTimer::singleShot(0, [] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        std::quick_exit(0);
    });
    return app.exec();
}
