#include "convert/launcher.h"

#include "convert/gammatable.h"
#include "ui/droplabel.h"

#include <QProcess>

#include <iostream>

QString convertedOutputPath(const QString &inputPath)
{
    const int nameStart = inputPath.lastIndexOf(QLatin1Char('/')) + 1;
    QString fileName = inputPath.mid(nameStart);
    if (!fileName.contains(QLatin1Char('.')))
        return {};
    return inputPath.left(nameStart)
        + fileName.replace(QLatin1Char('.'), QStringLiteral("_output."));
}

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

void DropLabel::convertFile(const QString &path, int temperature)
{
    const QString outputPath = convertedOutputPath(path);
    // With no name of its own the output would be the input, which -y overwrites.
    if (outputPath.isEmpty())
        return;

    const int index = gammaTableIndex(temperature);
    const float red = temperatureGammaTable[index];
    const float green = temperatureGammaTable[index + 1];
    const float blue = temperatureGammaTable[index + 2];
    std::cout << "temp_index: " << index << std::endl;
    std::cout << "red_gamma: " << red << std::endl;
    std::cout << "green_gamma: " << green << std::endl;
    std::cout << "blue_gamma: " << blue << std::endl;

    const QStringList arguments
        = converterArguments(path, gammaFilter(red, green, blue), outputPath);
    for (const QString &argument : arguments)
        std::cout << argument.toStdString() << ' ';
    std::cout << std::endl;

    // Detached and unwatched: the converter runs on its own and reports nothing back.
    QProcess::startDetached(QStringLiteral("ffmpeg"), arguments);
}
