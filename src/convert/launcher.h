#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class ConverterQueue;

// Writes the trace's index, gamma and argument lines for the file at path, re-tinted for
// temperature in kelvin, and queues its conversion. Where whyNotConverted gives a reason, nothing
// is traced or queued, and the reason is returned; else an empty string. The trace is flushed
// before the converter starts, not line by line: a drop of thousands of files would spend most of
// its time in writes.
QString queueConversion(ConverterQueue &queue, const QString &path, int temperature);

// What a pass over files tells of each: that it begins (its place and path; false stops the pass
// before it), and why it was not queued, where it was not.
struct FilePassHooks
{
    std::function<bool(int index, const QString &path)> beginning;
    std::function<void(const QString &path, const QString &why)> refused;
};

// Hands files on to the queue in this order, as one drop: for each, the path line of the trace,
// then the events that wait are let run (a slider move among them is stored before the read that
// follows), then its conversion is queued at its own temperature where temperatures has one for
// each file, else at the temperature stored now. Returns how many files were handed on.
int passFiles(ConverterQueue &queue, const QStringList &paths, const QList<int> &temperatures,
    const FilePassHooks &hooks = {});
