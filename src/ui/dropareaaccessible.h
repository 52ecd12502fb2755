#pragma once

#include <QAccessibleWidget>
#include <QString>

class QObject;

// What assistive technology sees of a label, and of the drop area above all: a button named
// "Drop area" whose press opens the file dialog and whose description says what it does now.
// Made for every label and deciding at each call whether it is the drop area, since an interface
// may be made while the widget is still being built, before it is one.
class DropAreaAccessible : public QAccessibleWidget
{
public:
    explicit DropAreaAccessible(QWidget *label);

    // Makes the interfaces of labels; installed once, before any widget is built.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

    QAccessible::Role role() const override;
    QString text(QAccessible::Text kind) const override;
    QStringList actionNames() const override;
    void doAction(const QString &action) override;
    QStringList keyBindingsForAction(const QString &action) const override;

private:
    bool isDropArea() const;
};
