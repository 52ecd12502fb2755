#include "app/appsettings.h"

#include "app/processsetup.h"

#include <QVariant>

// Defined before the store, so it runs before the store is built and before main.
[[maybe_unused]] static const bool processPrepared = (prepareProcess(), true);

// Both live in this one file so that the key is built after the store and destroyed before it.
// Explicit names keep the store independent of the application object, which comes later.
QSettings appSettings(QStringLiteral("ZorvTech"), QStringLiteral("ZorvVideoConverter"), nullptr);
const QString colorTemperatureKey = QStringLiteral("color-temperature");

int storedColorTemperature()
{
    return appSettings.value(colorTemperatureKey, QVariant(defaultColorTemperature)).toInt();
}
