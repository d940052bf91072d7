#pragma once

#include "Installer.h"
#include "Platform.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

namespace zelvoset {

struct TwipsBox;

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

    const std::string& InstallVariant() const { return installer_.InstallVariant(); }

protected:
    // Closing from the title bar ends the program the way Exit does.
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createFinishPanel();
    void applyFonts();
    void arrangeTabOrder();
    void connectEvents();

    QLabel* addLabel(QWidget* container, const char* name, const QString& caption,
                     const TwipsBox& box);
    QPushButton* addButton(QWidget* container, const char* name, const QString& caption,
                           const TwipsBox& box);
    void place(QWidget* control, const TwipsBox& box);
    void unload();

    Platform& platform_;
    Installer installer_;
    bool unloaded_ = false;

    QLabel* Label1 = nullptr;
    QPushButton* cmdDemoData = nullptr;
    QLabel* lblDemoData = nullptr;
    QPushButton* cmdEmptyFiles = nullptr;
    QLabel* lblEmptyFiles = nullptr;
    QPushButton* cmdFinish = nullptr;
    QLabel* lblFinish = nullptr;
    QGroupBox* fraFinish = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* cmdExit = nullptr;
};

} // namespace zelvoset
