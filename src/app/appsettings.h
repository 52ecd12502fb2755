#pragma once

#include <QSettings>
#include <QString>

// The one piece of persisted state: the chosen colour temperature in kelvin.
extern QSettings appSettings;
extern const QString colorTemperatureKey;
constexpr int defaultColorTemperature = 2700;

// Reads the stored temperature as every reader must see it: no clamping, no snapping,
// and text that is not a number reads as 0.
int storedColorTemperature();
