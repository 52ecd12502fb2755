#include "convert/conversion.h"

#include "convert/gammatable.h"
#include "convert/outputrules.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <array>

QString gammaFilter(float red, float green, float blue)
{
    // Plain %N markers format in the C locale, whatever the user's locale is.
    const QChar blank(QLatin1Char(' '));
    return QStringLiteral("eq=gamma_r=%1:gamma_g=%2:gamma_b=%3")
        .arg(double(red), 0, 'g', -1, blank)
        .arg(double(green), 0, 'g', -1, blank)
        .arg(double(blue), 0, 'g', -1, blank);
}

QStringList converterArguments(
    const QString &inputPath, const QString &filter, const QString &outputPath)
{
    return { QStringLiteral("-y"), QStringLiteral("-i"), inputPath, QStringLiteral("-b:v"),
        QStringLiteral("10M"), QStringLiteral("-vf"), filter, outputPath };
}

QString converterProgram()
{
    const QString name = QStringLiteral("ffmpeg");
#ifdef Q_OS_WIN
    // Windows would look in the current folder before PATH when given a bare name; a converter
    // shipped beside the program is the usual way there.
    const QString beside
        = QStandardPaths::findExecutable(name, { QCoreApplication::applicationDirPath() });
    if (!beside.isEmpty())
        return beside;
#endif
    return QStandardPaths::findExecutable(name);
}

QString noConverterReason()
{
#ifdef Q_OS_WIN
    return QStringLiteral("ffmpeg could not be started: no ffmpeg beside the program or on PATH");
#else
    return QStringLiteral("ffmpeg could not be started: no ffmpeg on PATH");
#endif
}

QString Conversion::output() const
{
    return convertedOutputPath(input);
}

QString rowFilter(int gammaIndex)
{
    // Every file of a drop has the same row: each row's filter is made once.
    static std::array<QString, gammaTableRows> filters;
    QString &filter = filters.at(std::size_t(gammaIndex / 3));
    if (filter.isEmpty()) {
        const auto row = std::size_t(gammaIndex);
        filter = gammaFilter(temperatureGammaTable[row], temperatureGammaTable[row + 1],
            temperatureGammaTable[row + 2]);
    }
    return filter;
}

QStringList Conversion::arguments() const
{
    return converterArguments(input, rowFilter(gammaIndex), output());
}
