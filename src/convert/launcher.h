#pragma once

#include <QString>

class ConverterQueue;

// Writes the trace's index, gamma and argument lines for the file at path, re-tinted for
// temperature in kelvin, and queues its conversion. Where whyNotConverted gives a reason, nothing
// is traced or queued, and the reason is returned; else an empty string. The trace is flushed
// before the converter starts, not line by line: a drop of thousands of files would spend most of
// its time in writes.
QString queueConversion(ConverterQueue &queue, const QString &path, int temperature);
