#pragma once

#include "convert/conversion.h"

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <string>

// The files that wait for their turn, in order, kept small: a hundred thousand of them take a few
// megabytes. Each input is held as UTF-8 (or, where that would change it, as it is) in a block
// of text shared with the files added before and after it; a block goes once its last file has.
class WaitingList
{
public:
    bool empty() const { return m_entries.empty(); }
    int size() const { return int(m_entries.size()); }

    void append(const Conversion &conversion);
    Conversion at(int index) const;
    void removeAt(int index);
    void clear();

    // The list as a queue file keeps it.
    QByteArray queueFileText() const;

private:
    struct Entry
    {
        std::uint32_t block; // its number: blocks are numbered from the first ever made
        std::uint32_t offset;
        std::uint32_t size; // in bytes
        std::int32_t gammaIndex;
        bool utf16; // held as UTF-16: UTF-8 would not give it back unchanged
    };
    struct Block
    {
        std::string text;
        int files = 0;
    };

    QString input(const Entry &entry) const;
    QByteArray inputUtf8(const Entry &entry) const;
    const std::string &text(const Entry &entry) const;

    std::deque<Entry> m_entries;
    std::deque<Block> m_blocks;
    std::uint32_t m_firstBlock = 0; // the number of m_blocks.front()
};
