#pragma once

#include <QString>

// Where the converter writes: the input with every "." of its file name turned into
// "_output.", directory names left alone. Empty when the file name has no ".", since the
// output would then be the input itself.
QString convertedOutputPath(const QString &inputPath);

// Whether both paths name one existing file, through a link or a second name included.
bool namesSameFile(const QString &first, const QString &second);

// Whether an output may be written at path: nothing is there, or an ordinary file of one name.
// Writing through a link, into a device or pipe, or into a file of several names would change
// a file that the user never named.
bool isOverwritableOutput(const QString &path);

// Why the file at input is not converted to output, in a few words; empty where it may be. With
// no name of its own, or a link or an existing file that is the input, the output would be the
// input, which the converter truncates before reading it; nor is anything written through a link
// or into a special file.
QString whyNotConverted(const QString &input, const QString &output);

// One name for one output file, however its folder is reached (a link, "..", a second slash),
// so that two converters are never let write it at once.
QString outputKey(const QString &path);
