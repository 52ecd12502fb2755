#include "ui/tintpreviewaccessible.h"

#include "ui/tintpreview.h"

TintPreviewAccessible::TintPreviewAccessible(QWidget *preview)
    : QAccessibleWidget(preview, QAccessible::Graphic)
{ }

QAccessibleInterface *TintPreviewAccessible::factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("TintPreview") || !object || !object->isWidgetType())
        return nullptr;
    return new TintPreviewAccessible(static_cast<QWidget *>(object));
}

QRect TintPreviewAccessible::rect() const
{
    const auto *preview = qobject_cast<const TintPreview *>(object());
    if (!preview)
        return QAccessibleWidget::rect();
    const QRect picture = preview->pictureRect();
    return { preview->mapToGlobal(picture.topLeft()), picture.size() };
}

QString TintPreviewAccessible::text(QAccessible::Text kind) const
{
    const auto *preview = qobject_cast<const TintPreview *>(object());
    if (kind == QAccessible::Description && preview)
        return preview->caption();
    return QAccessibleWidget::text(kind);
}

QStringList TintPreviewAccessible::actionNames() const
{
    return QStringList { pressAction() } + QAccessibleWidget::actionNames();
}

void TintPreviewAccessible::doAction(const QString &action)
{
    if (action != pressAction()) {
        QAccessibleWidget::doAction(action);
        return;
    }
    // Later: the dialog waits for the user, the assistive technology that asked must not.
    QMetaObject::invokeMethod(object(), "choose", Qt::QueuedConnection);
}
