#pragma once

#include <QAccessibleWidget>
#include <QRect>
#include <QString>
#include <QStringList>

class QObject;

// What assistive technology sees of the tint preview: a picture named "Tint preview", whose
// extents are those of the picture alone, whose description says what it shows, and whose
// press opens the one-file dialog.
class TintPreviewAccessible : public QAccessibleWidget
{
public:
    explicit TintPreviewAccessible(QWidget *preview);

    // Makes the preview's interface; installed once, before any widget is built.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

    QRect rect() const override;
    QString text(QAccessible::Text kind) const override;
    QStringList actionNames() const override;
    void doAction(const QString &action) override;
};
