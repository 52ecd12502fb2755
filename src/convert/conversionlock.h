#pragma once

#include <QString>

// One conversion's hold on its two files, seen by every copy of the program of one user on one
// machine: a shared hold on its input, which others may read as well, and a sole one on its
// output. The converter inherits the hold as it starts, so the hold lasts while the converter
// runs, also after the program that started it has ended, and goes when it ends.
class ConversionLock
{
public:
    ConversionLock() = default;
    ~ConversionLock();
    ConversionLock(const ConversionLock &) = delete;
    ConversionLock &operator=(const ConversionLock &) = delete;

    enum Taken { Held, HeldElsewhere, NoLocks };
    // Takes the holds on both files (given by their keys, see outputKey), or on neither where
    // another conversion holds either of them. Where no hold can be kept at all, it takes none
    // and says why.
    Taken take(const QString &inputKey, const QString &outputKey, QString *why);
    // The next process started inherits the holds; release() once it has started.
    void lendToNextProcess();
    // Lets go of our own handles; a converter that inherited them keeps its hold.
    void release();

    // Removes what keeps the hold on a file where nobody holds it any more.
    static void tidy(const QString &key);

private:
#ifdef Q_OS_WIN
    void *m_input = nullptr;
    void *m_output = nullptr;
#else
    int m_input = -1;
    int m_output = -1;
#endif
};
