#include "FileDialog.h"

#include "DialogRules.h"
#include "Paths.h"
#include "QtPaths.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStringList>

namespace zelvoset {
namespace {

QString Text(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString QtFilter(const QString& description, const QString& pattern) {
    const QString patterns = pattern.split(u';', Qt::SkipEmptyParts).join(u' ').trimmed();
    const QString named = QStringLiteral("(%1)").arg(patterns);
    if (description.trimmed().endsWith(named, Qt::CaseInsensitive))
        return description.trimmed();
    if (description.trimmed().isEmpty())
        return named;
    return description.trimmed() + u' ' + named;
}

// The existing file that the name typed into `dialog` means when it does not match letter case
// exactly, spelled as on disk; "" when it matches exactly or names no file.
QString FileInOtherCase(const QFileDialog& dialog) {
    const QStringList typed = dialog.selectedFiles();
    if (typed.size() != 1 || QFileInfo::exists(typed.constFirst()))
        return {};
    const QString onDisk = ToQt(posix::ResolveCase(FromQt(typed.constFirst())).path);
    return QFileInfo(onDisk).isFile() ? onDisk : QString();
}

// Qt's own dialog, which also takes a typed name in any letter case, as the rest of the program
// does: a name that means an existing file is put in the name box as the disk spells it before
// Qt checks it, and the Open button is not greyed out for it meanwhile.
class CaseBlindFileDialog : public QFileDialog {
public:
    CaseBlindFileDialog(QWidget* parent, const QString& title, const QString& directory)
        : QFileDialog(parent, title, directory) {
        // Qt's own dialog behaves the same on every desktop, and its filter honours the case
        // rule below, which a native dialog may not.
        setOption(QFileDialog::DontUseNativeDialog);
        // After the dialog's own connection, which greys the button out for a name not found.
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            connect(name, &QLineEdit::textChanged, this, [this] {
                auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
                QPushButton* open = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
                if (open && !open->isEnabled() && !FileInOtherCase(*this).isEmpty())
                    open->setEnabled(true);
            });
    }

    void accept() override {
        const QString onDisk = FileInOtherCase(*this);
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!onDisk.isEmpty() && name)
            name->setText(onDisk);
        QFileDialog::accept();
    }
};

// QFileDialog reads its history, last directory and layout from the user's QtProject.conf when
// it is made, and writes them back when it is destroyed, whichever dialog Qt shows; no option
// turns that off. The program keeps no state and writes nothing outside the installation, so
// Qt's per-user settings are sent where no file can ever be read or made.
void KeepNoSettings() {
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

} // namespace

QString QtNameFilters(std::string_view filter) {
    QStringList filters;
    for (const FilterEntry& entry : ParseFilter(filter))
        filters << QtFilter(Text(entry.description), Text(entry.pattern));
    return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> RunOpenFileDialog(const BrowseRequest& request,
                                             const QString& startDirectory) {
    KeepNoSettings();
    CaseBlindFileDialog dialog(QApplication::activeWindow(), Text(request.title), startDirectory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The installation names its files in upper case; on disk they may be in any case.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    const QString filters = QtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilter(filters);
    dialog.setDefaultSuffix(Text(request.defaultExt));
    if (!request.fileName.empty())
        dialog.selectFile(Text(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQt(dialog.selectedFiles().constFirst());
}

} // namespace zelvoset
