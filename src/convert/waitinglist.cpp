#include "convert/waitinglist.h"

#include "convert/queuefile.h"

#include <algorithm>

namespace {

// Large enough that a block is one allocation among thousands of files, small enough that a
// file left waiting long does not hold much.
constexpr std::size_t blockSize = std::size_t { 64 } * 1024;

} // namespace

void WaitingList::append(const Conversion &conversion)
{
    // UTF-8 gives back every name but one with a lone surrogate, which Windows allows.
    const bool utf16 = std::any_of(conversion.input.cbegin(), conversion.input.cend(),
        [](QChar unit) { return unit.isSurrogate(); });
    QByteArray bytes = conversion.input.toUtf8();
    if (utf16) {
        bytes = QByteArray(reinterpret_cast<const char *>(conversion.input.utf16()),
            int(conversion.input.size() * sizeof(char16_t)));
    }
    if (m_blocks.empty() || m_blocks.back().text.size() + std::size_t(bytes.size()) > blockSize) {
        m_blocks.emplace_back();
        m_blocks.back().text.reserve(std::max(blockSize, std::size_t(bytes.size())));
    }
    Block &block = m_blocks.back();
    m_entries.push_back(
        { m_firstBlock + std::uint32_t(m_blocks.size() - 1), std::uint32_t(block.text.size()),
            std::uint32_t(bytes.size()), std::int32_t(conversion.gammaIndex), utf16 });
    block.text.append(bytes.constData(), std::size_t(bytes.size()));
    ++block.files;
}

const std::string &WaitingList::text(const Entry &entry) const
{
    return m_blocks[entry.block - m_firstBlock].text;
}

QString WaitingList::input(const Entry &entry) const
{
    const char *data = text(entry).data() + entry.offset;
    if (entry.utf16)
        return QString::fromUtf16(
            reinterpret_cast<const char16_t *>(data), int(entry.size / sizeof(char16_t)));
    return QString::fromUtf8(data, int(entry.size));
}

QByteArray WaitingList::inputUtf8(const Entry &entry) const
{
    if (entry.utf16)
        return input(entry).toUtf8();
    return QByteArray(text(entry).data() + entry.offset, int(entry.size));
}

Conversion WaitingList::at(int index) const
{
    const Entry &entry = m_entries[std::size_t(index)];
    return { input(entry), entry.gammaIndex };
}

void WaitingList::removeAt(int index)
{
    const auto entry = m_entries.begin() + index;
    Block &block = m_blocks[entry->block - m_firstBlock];
    m_entries.erase(entry);
    if (--block.files == 0)
        std::string().swap(block.text);
    // Blocks whose files have all gone are let go from the front; one in the middle keeps only
    // its place.
    while (!m_blocks.empty() && m_blocks.front().files == 0
        && (m_blocks.size() > 1 || m_entries.empty())) {
        m_blocks.pop_front();
        ++m_firstBlock;
    }
}

void WaitingList::clear()
{
    m_entries.clear();
    m_blocks.clear();
    m_firstBlock = 0;
}

QByteArray WaitingList::queueFileText() const
{
    QByteArray text = queueFileHeader();
    for (const Entry &entry : m_entries)
        appendKeptFile(text, entry.gammaIndex / 3 * 100, inputUtf8(entry));
    return text;
}
