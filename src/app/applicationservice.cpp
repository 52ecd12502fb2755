#include "app/applicationservice.h"

#include "app/singleinstance.h"
#include "convert/gammatable.h"
#include "ui/droplabel.h"

#include <QDBusError>
#include <QUrl>
#include <QWidget>

QString applicationServiceName()
{
    return QStringLiteral("com.zorvtech.ZorvVideoConverter");
}

QString applicationObjectPath()
{
    return QStringLiteral("/com/zorvtech/ZorvVideoConverter");
}

QString applicationInterface()
{
    return QStringLiteral("org.freedesktop.Application");
}

QString handedTemperatureKey()
{
    return QStringLiteral("com.zorvtech.ZorvVideoConverter.temperature");
}

bool readOpenCall(const QStringList &uris, const QVariantMap &platformData, QStringList *files,
    std::optional<int> *temperature, QString *why)
{
    if (uris.size() > mostFiles) {
        *why = QStringLiteral("At most %1 files are taken at once").arg(mostFiles);
        return false;
    }
    QStringList paths;
    for (const QString &uri : uris) {
        const QString path = droppedFilePath(QUrl(uri, QUrl::StrictMode));
        if (path.isEmpty()) {
            *why = QStringLiteral("Not a local file: %1").arg(uri);
            return false;
        }
        paths << path;
    }
    std::optional<int> kelvin;
    if (platformData.contains(handedTemperatureKey())) {
        const QVariant value = platformData.value(handedTemperatureKey());
        if (value.userType() != QMetaType::Int || value.toInt() < lowestTableTemperature
            || value.toInt() > highestTableTemperature) {
            *why = QStringLiteral("Not a temperature: %1").arg(value.toString());
            return false;
        }
        kelvin = value.toInt();
    }
    *files = paths;
    *temperature = kelvin;
    return true;
}

ApplicationService::ApplicationService(QObject *parent)
    : QObject(parent)
{ }

void ApplicationService::serve(QWidget &window)
{
    m_window = &window;
}

bool ApplicationService::refuseWithoutWindow()
{
    if (m_window)
        return false;
    sendErrorReply(QDBusError::Failed, QStringLiteral("The window is not there yet"));
    return true;
}

void ApplicationService::Activate(const QVariantMap &platformData)
{
    Open({}, platformData);
}

void ApplicationService::Open(const QStringList &uris, const QVariantMap &platformData)
{
    QStringList files;
    std::optional<int> temperature;
    QString why;
    if (!readOpenCall(uris, platformData, &files, &temperature, &why)) {
        sendErrorReply(QDBusError::InvalidArgs, why);
        return;
    }
    // Answered once the files are taken: the caller may end, or the program be killed, then.
    if (!refuseWithoutWindow())
        takeHandedFiles(*m_window, files, temperature);
}

void ApplicationService::ActivateAction(
    const QString &actionName, const QVariantList &, const QVariantMap &)
{
    sendErrorReply(QDBusError::NotSupported, QStringLiteral("No action %1").arg(actionName));
}
