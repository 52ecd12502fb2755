#include "convert/launcher.h"

#include "app/appsettings.h"
#include "convert/conversion.h"
#include "convert/converterqueue.h"
#include "convert/gammatable.h"
#include "convert/outputrules.h"
#include "ui/droplabel.h"
#include "ui/dropareastatus.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <array>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// The index and gamma lines of a row, as the stream's default float format writes them. Every
// file of a drop has the same row, so each is made once.
const std::string &gammaLines(int index)
{
    static std::array<std::string, gammaTableRows> made;
    std::string &lines = made.at(std::size_t(index / 3));
    if (lines.empty()) {
        const auto row = std::size_t(index);
        std::ostringstream text;
        text << "temp_index: " << index << '\n'
             << "red_gamma: " << temperatureGammaTable[row] << '\n'
             << "green_gamma: " << temperatureGammaTable[row + 1] << '\n'
             << "blue_gamma: " << temperatureGammaTable[row + 2] << '\n';
        lines = text.str();
    }
    return lines;
}

} // namespace

QString queueConversion(ConverterQueue &queue, const QString &path, int temperature)
{
    const Conversion conversion { path, gammaTableIndex(temperature) };
    const QString output = conversion.output();
    QString why = whyNotConverted(path, output);
    if (!why.isEmpty())
        return why;

    // The arguments in UTF-8, each followed by a blank; the queue builds the same list again
    // when the file's turn comes.
    const QByteArray arguments
        = (converterArguments(path, rowFilter(conversion.gammaIndex), output).join(QLatin1Char(' '))
            + QLatin1Char(' '))
              .toUtf8();
    const std::string &gammas = gammaLines(conversion.gammaIndex);
    std::cout.write(gammas.data(), std::streamsize(gammas.size()));
    std::cout.write(arguments.constData(), arguments.size()) << '\n';

    queue.add(conversion);
    return {};
}

int passFiles(ConverterQueue &queue, const QStringList &paths, const QList<int> &temperatures,
    const FilePassHooks &hooks)
{
    queue.startNewDrop();
    // The trace goes out at the display's pace, and whole at the end.
    QElapsedTimer sinceFlushed;
    sinceFlushed.start();
    int handedOn = 0;
    for (; handedOn < paths.size(); ++handedOn) {
        const QString &path = paths.at(handedOn);
        if (hooks.beginning && !hooks.beginning(handedOn, path))
            break;
        const QByteArray pathLine = path.toLocal8Bit();
        std::cout.write(pathLine.constData(), pathLine.size()) << '\n';
        QCoreApplication::processEvents();
        const QString why = queueConversion(queue, path,
            temperatures.size() == paths.size() ? temperatures.at(handedOn)
                                                : storedColorTemperature());
        if (!why.isEmpty() && hooks.refused)
            hooks.refused(path, why);
        if (sinceFlushed.hasExpired(frameMs)) {
            std::cout.flush();
            sinceFlushed.restart();
        }
    }
    std::cout.flush();
    queue.endDrop();
    return handedOn;
}

void DropLabel::convertFile(const QString &path, int temperature)
{
    queueConversion(*ConverterQueue::of(this), path, temperature);
}
