#include "ui/dropareaaccessible.h"

#include "ui/dropareachooser.h"
#include "ui/droplabel.h"

#include <QLabel>

DropAreaAccessible::DropAreaAccessible(QWidget *label)
    : QAccessibleWidget(label, QAccessible::StaticText)
{ }

QAccessibleInterface *DropAreaAccessible::factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QLabel") && className != QLatin1String("DropLabel"))
        return nullptr;
    return object && object->isWidgetType() ? new DropAreaAccessible(static_cast<QWidget *>(object))
                                            : nullptr;
}

bool DropAreaAccessible::isDropArea() const
{
    return qobject_cast<const DropLabel *>(object()) != nullptr;
}

QAccessible::Role DropAreaAccessible::role() const
{
    return isDropArea() ? QAccessible::Button : QAccessible::StaticText;
}

QString DropAreaAccessible::text(QAccessible::Text kind) const
{
    const auto *label = qobject_cast<const QLabel *>(object());
    QString text = QAccessibleWidget::text(kind);
    if (kind == QAccessible::Name && text.isEmpty() && label)
        return label->text();
    // What the drop area shows now follows what it is for.
    if (kind == QAccessible::Description && isDropArea() && label)
        return label->text() + QLatin1Char('\n') + text;
    return text;
}

QStringList DropAreaAccessible::actionNames() const
{
    if (!isDropArea())
        return QAccessibleWidget::actionNames();
    return QStringList { pressAction() } + QAccessibleWidget::actionNames();
}

void DropAreaAccessible::doAction(const QString &action)
{
    if (!isDropArea() || action != pressAction()) {
        QAccessibleWidget::doAction(action);
        return;
    }
    // Later: the dialog waits for the user, the assistive technology that asked must not.
    QMetaObject::invokeMethod(DropAreaChooser::of(object()), "choose", Qt::QueuedConnection);
}

QStringList DropAreaAccessible::keyBindingsForAction(const QString &action) const
{
    if (isDropArea() && action == pressAction())
        return { QStringLiteral("Return"), QStringLiteral("Space") };
    return QAccessibleWidget::keyBindingsForAction(action);
}
