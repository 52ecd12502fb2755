#include "convert/conversion.h"
#include "convert/converterqueue.h"
#include "convert/gammatable.h"
#include "convert/outputrules.h"
#include "ui/droplabel.h"

#include <iostream>

void DropLabel::convertFile(const QString &path, int temperature)
{
    const Conversion conversion { path, gammaTableIndex(temperature) };
    const QString outputPath = conversion.output();
    // With no name of its own, or a link or an existing file that is the input, the output
    // would be the input, which -y truncates before reading; -y also writes through whatever
    // else stands at the output's name.
    if (outputPath.isEmpty() || namesSameFile(path, outputPath)
        || !isOverwritableOutput(outputPath))
        return;

    const auto row = std::size_t(conversion.gammaIndex);
    std::cout << "temp_index: " << conversion.gammaIndex << std::endl;
    std::cout << "red_gamma: " << temperatureGammaTable[row] << std::endl;
    std::cout << "green_gamma: " << temperatureGammaTable[row + 1] << std::endl;
    std::cout << "blue_gamma: " << temperatureGammaTable[row + 2] << std::endl;

    // The queue builds the same list again when the file's turn comes.
    for (const QString &argument : conversion.arguments())
        std::cout << argument.toStdString() << ' ';
    std::cout << std::endl;

    ConverterQueue::of(this)->add(conversion);
}
