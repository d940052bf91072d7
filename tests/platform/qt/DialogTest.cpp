// The message box and the file dialog, shown offscreen and answered the way a user would.
#include "DataSets.h"
#include "FileDialog.h"
#include "PlatformTesting.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace zelvoset::testing {
namespace {

// Runs `act` on the modal dialog of type W as soon as it shows.
template <class W> void WhenShown(std::function<void(W*)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<W*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start(10);
}

// The names the dialog lists, once its directory has been read.
QStringList Listed(QFileDialog* dialog) {
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QStringList names;
    for (int i = 0; i < 200 && names.isEmpty(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    }
    return names;
}

TEST(FileDialogTest, FiltersInQtsForm) {
    EXPECT_EQ(QtNameFilters("Company file (SYCMPF.DAT)|SYCMPF.DAT"), "Company file (SYCMPF.DAT)");
    EXPECT_EQ(QtNameFilters("Text|*.txt;*.doc|All files|*.*"),
              "Text (*.txt *.doc);;All files (*.*)");
    EXPECT_EQ(QtNameFilters("Data (old)|*.dat"), "Data (old) (*.dat)");
    EXPECT_EQ(QtNameFilters(""), "");
}

class BrowseTest : public InInstallation {
protected:
    void SetUp() override {
        InInstallation::SetUp();
        Write("START/sycmpf.dat", "");
        Write("START/other.txt", "");
        Write("DATA/CO2/SYCMPF.DAT", "");
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(Path("START"))));
    }
    std::string Browse() {
        return GenericBrowse(platform, ".\\", "SYCMPF.DAT", "DAT", "Browse for Company File",
                             "Company file (SYCMPF.DAT)|SYCMPF.DAT");
    }
};

TEST_F(BrowseTest, OpensInTheCurrentDirectoryAndCancelIsNoChoice) {
    QString title, directory, proposed;
    QStringList listed;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        proposed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        listed = Listed(dialog);
        dialog->reject();
    });
    EXPECT_EQ(Browse(), "");
    EXPECT_EQ(title, "Browse for Company File");
    EXPECT_EQ(directory.toStdString(), Path("START"));
    EXPECT_EQ(proposed, "sycmpf.dat");              // proposed as the installation spells it
    EXPECT_EQ(listed, QStringList({"sycmpf.dat"})); // the pattern matches any letter case
    EXPECT_EQ(QDir::currentPath().toStdString(), root_);
}

TEST_F(BrowseTest, TheChosenFileIsItsFullPath) {
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        dialog->setDirectory(QString::fromStdString(Path("DATA/CO2")));
        // Typed into the name box, without extension, as a user would: selectFile() keeps the
        // name proposed earlier when this process has already shown a dialog.
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("SYCMPF"));
        static_cast<QDialog*>(dialog)->accept(); // as the Open button does
    });
    EXPECT_EQ(Browse(), Path("DATA/CO2/SYCMPF.DAT"));
    EXPECT_EQ(QDir::currentPath().toStdString(), root_);
}

// Typed in another letter case, as names are everywhere else in the program: the dialog's
// Open button takes it, and the result is spelled as on disk.
TEST_F(BrowseTest, ANameTypedInAnyCaseIsTheFileAsSpelledOnDisk) {
    bool greyedForNoFile = false, openForOtherCase = false;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QPushButton* open = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        dialog->setDirectory(QString::fromStdString(Path("DATA"))); // nothing selected there
        name->setText(QStringLiteral("co2/nothing.dat"));
        greyedForNoFile = !open->isEnabled();
        name->setText(QStringLiteral("co2/sycmpf.dat"));
        openForOtherCase = open->isEnabled();
        open->click();
        if (dialog->isVisible()) // not taken: end the test instead of hanging it
            dialog->reject();
    });
    EXPECT_EQ(Browse(), Path("DATA/CO2/SYCMPF.DAT"));
    EXPECT_TRUE(greyedForNoFile);
    EXPECT_TRUE(openForOtherCase);
}

TEST(MessageBoxTest, StylesTitlesAndAnswers) {
    QtPlatform platform;
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format = Qt::AutoText;
    } seen;
    auto answer = [&](QMessageBox::StandardButton button) {
        WhenShown<QMessageBox>([&seen, button](QMessageBox* box) {
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                    box->textFormat()};
            box->button(button)->click();
        });
    };

    answer(QMessageBox::Yes);
    EXPECT_EQ(platform.ShowMessage("Add <it>?\r\n\r\nReally?", kStyleQuestion, "Question"),
              kAnswerYes);
    EXPECT_EQ(seen.title, "Question");
    EXPECT_EQ(seen.text, "Add <it>?\n\nReally?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.format, Qt::PlainText);

    answer(QMessageBox::No);
    EXPECT_EQ(platform.ShowMessage("Add it?", kStyleQuestion), kAnswerNo);
    EXPECT_EQ(seen.title, "Zelvo Install");

    for (const auto& [style, icon] :
         {std::pair{kStyleError, QMessageBox::Critical}, {kStyleWarning, QMessageBox::Warning}}) {
        answer(QMessageBox::Ok);
        EXPECT_EQ(platform.ShowMessage("Add by hand", style, "Edit"), kAnswerOk);
        EXPECT_EQ(seen.icon, icon);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    }
}

} // namespace
} // namespace zelvoset::testing
