#pragma once

#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

class QWidget;

// Where the program is found on the session bus.
QString applicationServiceName();
QString applicationObjectPath();
QString applicationInterface();
// The entry of a call's platform data that carries the temperature a later start was given.
QString handedTemperatureKey();

// The files that file URIs name, by the drop area's own rules, and the temperature that platform
// data carry, if any; false, and why, where any URI names no local file, there are more than
// a hand-over takes, or the temperature is not one of the table's.
bool readOpenCall(const QStringList &uris, const QVariantMap &platformData, QStringList *files,
    std::optional<int> *temperature, QString *why);

// The desktop's way to a running program (org.freedesktop.Application): a later start, a file
// manager or the desktop's launcher opens files in its window, or brings the window to the
// front. A malformed call is refused with an error and changes nothing.
class ApplicationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationService(QObject *parent = nullptr);

    // The window that shows and converts from now on; calls before it are refused.
    void serve(QWidget &window);

public slots:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData);
    void ActivateAction(
        const QString &actionName, const QVariantList &parameter, const QVariantMap &platformData);

private:
    bool refuseWithoutWindow();

    QPointer<QWidget> m_window;
};
