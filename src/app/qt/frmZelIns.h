#pragma once

#include "Installer.h"
#include "Platform.h"

#include <QHash>
#include <QWidget>

class QGroupBox;
class QPushButton;

namespace zelvoset {

// The program's one window. It holds the controls, hands every event to the Installer and
// applies what comes back; the decisions themselves live in the Installer.
class frmZelIns : public QWidget {
    Q_OBJECT

public:
    explicit frmZelIns(Platform& platform, QWidget* parent = nullptr);

    // The start-up work; runs before the window is first shown, so that any question it asks
    // comes before the window.
    void Form_Load();

    void cmdDemoData_Click();
    void cmdEmptyFiles_Click();
    void cmdFinish_Click();
    void cmdExit_Click();

    std::optional<Layout> InstallVariant() const { return installer_.InstallVariant(); }

protected:
    // Closing from the title bar ends the program the way Exit does.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void arrangeTabOrder();
    // Centres the window on its screen's area left free by panels and docks.
    void centre();
    void connectEvents();
    void unload();

    template <class Widget> Widget* controlNamed(const char* name) const {
        return qobject_cast<Widget*>(controls_.value(QString::fromLatin1(name)));
    }

    Installer installer_;

    // Every control of the form by its name, as the description builds them.
    QHash<QString, QWidget*> controls_;
    QPushButton* cmdDemoData = nullptr;
    QPushButton* cmdEmptyFiles = nullptr;
    QPushButton* cmdFinish = nullptr;
    QGroupBox* fraFinish = nullptr;
    QPushButton* cmdExit = nullptr;
};

} // namespace zelvoset
