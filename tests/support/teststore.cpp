#include "support/teststore.h"

#include "app/appsettings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtDebug>

bool resetTestStore()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)
        || !appSettings.fileName().startsWith(configHome + QLatin1Char('/'))) {
        qWarning() << "refusing to touch" << appSettings.fileName()
                   << ": run the test through ctest, which sets XDG_CONFIG_HOME";
        return false;
    }
    appSettings.clear();
    appSettings.sync();
    return appSettings.status() == QSettings::NoError;
}

QString settingsFileIn(const QString &configHome)
{
    return configHome + "/ZorvTech/ZorvVideoConverter.conf";
}

QString storedEntryIn(const QString &settingsFile)
{
    QFile file(settingsFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression entry(
        "^color-temperature=(.*)$", QRegularExpression::MultilineOption);
    return entry.match(QString::fromUtf8(file.readAll())).captured(1).trimmed();
}
