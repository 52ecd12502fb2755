#include "app/sessionbus.h"

#include <QDBusConnection>
#include <QtGlobal>

bool hasSessionBus()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && QDBusConnection::sessionBus().isConnected();
}
