#include "FileDialog.h"

#include "Paths.h"

#include <QApplication>
#include <QFileDialog>
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

} // namespace

QString QtNameFilters(std::string_view filter) {
    const QStringList parts = Text(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i + 1].trimmed().isEmpty())
            filters << QtFilter(parts[i], parts[i + 1]);
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<std::string> RunOpenFileDialog(const BrowseRequest& request,
                                             const QString& startDirectory) {
    QFileDialog dialog(QApplication::activeWindow(), Text(request.title), startDirectory);
    // Qt's own dialog behaves the same on every desktop, and its filter honours the case
    // rule below, which a native dialog may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
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
