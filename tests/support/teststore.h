#pragma once

#include <QString>

// Makes sure the settings store lies in the test's own config home, never in a user's,
// and empties it. Returns false (and says why) where it does not.
bool resetTestStore();

// The settings file that a process started with the given config home writes.
QString settingsFileIn(const QString &configHome);

// The color-temperature entry as it stands in that file, or an empty string.
QString storedEntryIn(const QString &settingsFile);
