#pragma once

#include <QString>
#include <QStringList>

// The eq filter that applies the three gammas, always with "." as the decimal point.
QString gammaFilter(float red, float green, float blue);

// The eq filter of the gamma table's row at gammaIndex.
QString rowFilter(int gammaIndex);

// The converter's argument list, in the order it expects.
QStringList converterArguments(
    const QString &inputPath, const QString &filter, const QString &outputPath);

// The converter to start, by full path, found on PATH (on Windows beside the program first, never
// in the current folder); empty where there is none.
QString converterProgram();
// Why no converter starts where converterProgram() found none, naming where it was looked for.
QString noConverterReason();

// One file to convert. Everything the converter is given follows from these two, so a file that
// waits for its turn keeps no more than this.
struct Conversion
{
    QString input;
    int gammaIndex = 0; // of the row's first value in the gamma table

    QString output() const;
    QStringList arguments() const;
};
