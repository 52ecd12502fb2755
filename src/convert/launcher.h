#pragma once

#include <QString>
#include <QStringList>

// Where the converter writes: the input with every "." of its file name turned into
// "_output.", directory names left alone. Empty when the file name has no ".", since the
// output would then be the input itself.
QString convertedOutputPath(const QString &inputPath);

// The eq filter that applies the three gammas, always with "." as the decimal point.
QString gammaFilter(float red, float green, float blue);

// The converter's argument list, in the order it expects.
QStringList converterArguments(
    const QString &inputPath, const QString &filter, const QString &outputPath);

// Whether both paths name one existing file, through a link or a second name included.
bool namesSameFile(const QString &first, const QString &second);

// Whether an output may be written at path: nothing is there, or an ordinary file of one name.
// Writing through a link, into a device or pipe, or into a file of several names would change
// a file that the user never named.
bool isOverwritableOutput(const QString &path);

// The converter to start, by full path, found on PATH (on Windows beside the program first, never
// in the current folder); empty where there is none.
QString converterProgram();
