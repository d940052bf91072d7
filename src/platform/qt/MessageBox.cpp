#include "MessageBox.h"

#include "DialogRules.h"
#include "Platform.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace zelvoset {
namespace {

QString ToText(std::string_view bytes) {
    // The texts write their line breaks as CR LF pairs; a Qt label breaks at LF alone.
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

struct Look {
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

Look LookOf(int style) {
    switch (style) {
    case kStyleQuestion:
        return {QMessageBox::Question, QMessageBox::Yes | QMessageBox::No};
    case kStyleWarning:
        return {QMessageBox::Warning, QMessageBox::Ok};
    case kStyleError:
    default:
        return {QMessageBox::Critical, QMessageBox::Ok};
    }
}

} // namespace

int RunMessageBox(std::string_view text, int style, std::string_view title) {
    const Look look = LookOf(style);
    QMessageBox box(look.icon, ToText(BoxTitle(title)), ToText(text), look.buttons,
                    QApplication::activeWindow());
    // The texts are the installation's, not markup: a '<' must show as it is.
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return AnswerOf(BoxButton::Yes, style);
    case QMessageBox::No:
        return AnswerOf(BoxButton::No, style);
    case QMessageBox::Ok:
        return AnswerOf(BoxButton::Ok, style);
    default:
        return AnswerOf(BoxButton::None, style);
    }
}

} // namespace zelvoset
