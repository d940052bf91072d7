#include "Accessible.h"

#include "Form.h"
#include "frmZelIns.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace zelvoset {
namespace {

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A plain QWidget is heard as a "filler", which a screen reader may not announce at all; this
// one is the program's frame. The controls the form keeps from assistive technology are left out
// of its children.
class WindowInterface : public QAccessibleWidget {
public:
    explicit WindowInterface(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return static_cast<int>(exposedChildren().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = exposedChildren();
        return index >= 0 && index < children.size()
                   ? QAccessible::queryAccessibleInterface(children[index])
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return static_cast<int>(exposedChildren().indexOf(static_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> exposedChildren() const {
        QList<QWidget*> exposed;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (!child || child->isWindow())
                continue;
            const form::Control* control = form::Find(child->objectName().toStdString());
            if (!control || form::IsExposed(*control))
                exposed.append(child);
        }
        return exposed;
    }
};

class HeadingInterface : public QAccessibleWidget {
public:
    explicit HeadingInterface(QLabel* label) : QAccessibleWidget(label, QAccessible::Heading) {}

    QString text(QAccessible::Text kind) const override {
        const QString text = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && text.isEmpty() ? static_cast<QLabel*>(widget())->text()
                                                           : text;
    }
};

// Asked for each class an object derives from, most derived first. Qt's own factory answers for
// any class that inherits one of its widgets, so this one must be asked before it: it is
// installed before main, ahead of the one QApplication installs.
QAccessibleInterface* InterfaceFor(const QString& className, QObject* object) {
    if (className == QLatin1String(frmZelIns::staticMetaObject.className()))
        return new WindowInterface(static_cast<QWidget*>(object));
    if (className == QLatin1String(HeadingLabel::staticMetaObject.className()))
        return new HeadingInterface(static_cast<QLabel*>(object));
    return nullptr;
}

void InstallInterfaces() {
    QAccessible::installFactory(&InterfaceFor);
}
Q_CONSTRUCTOR_FUNCTION(InstallInterfaces)

} // namespace

void DescribeForAssistiveTechnology(QWidget& window, const QHash<QString, QWidget*>& controls) {
    window.setAccessibleName(QString::fromLatin1(form::kCaption));
    for (const form::Control& control : form::Controls()) {
        QWidget* widget = controls.value(QString::fromLatin1(control.name));
        if (const std::string_view name = form::AccessibleName(control); !name.empty())
            widget->setAccessibleName(Text(name));
        if (const std::string_view description = form::AccessibleDescription(control);
            !description.empty())
            widget->setAccessibleDescription(Text(description));
    }
}

} // namespace zelvoset
