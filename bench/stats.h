#pragma once

#include <QList>

#include <algorithm>

// The median of a list of samples.
template<typename T> double median(QList<T> samples)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const int middle = samples.size() / 2;
    return samples.size() % 2 ? double(samples[middle])
                              : (double(samples[middle - 1]) + double(samples[middle])) / 2;
}
