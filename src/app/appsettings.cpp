#include "app/appsettings.h"

#include <QVariant>

// Both live in this one file so that the key is built after the store and destroyed before it.
// Explicit names keep the store independent of the application object, which comes later.
QSettings appSettings(QStringLiteral("ZorvTech"), QStringLiteral("ZorvVideoConverter"), nullptr);
const QString colorTemperatureKey = QStringLiteral("color-temperature");

int storedColorTemperature()
{
    return appSettings.value(colorTemperatureKey, QVariant(defaultColorTemperature)).toInt();
}
