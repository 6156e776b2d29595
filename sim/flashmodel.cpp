#include "sim/flashmodel.h"

#include <algorithm>

namespace {
constexpr quint32 kWords = FlashModel::kProgramEnd / 2;
constexpr quint32 kAppResetIndex = FlashModel::kAppResetAddress / 2;
} // namespace

FlashModel::FlashModel()
    : m_words(kWords, kErased)
{
    m_words[0] = kBootJumpLow;
    m_words[1] = kBootJumpHigh;
}

bool FlashModel::erasePage(quint32 address)
{
    if (address >= kProtectedStart || address % kPageSize != 0)
        return false;
    const quint32 first = address / 2;
    for (quint32 i = first; i < first + kPageSize / 2; ++i)
        if (m_eraseMiss < 0 || qint64(i) != m_eraseMiss / 2)
            m_words[i] = kErased;
    if (first == 0) {
        // The bootloader puts its jump back at once, so that a reset in the
        // middle of an update still lands in the bootloader.
        m_words[0] = kBootJumpLow;
        m_words[1] = kBootJumpHigh;
    }
    return true;
}

bool FlashModel::writeRow(quint32 address, const QByteArray &data)
{
    if (address >= kProtectedStart || address % kRowSize != 0 || data.size() != kRowDataBytes)
        return false;
    const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
    const quint32 first = address / 2;
    for (quint32 k = 0; k < kRowSize / 2; ++k) {
        const quint32 index = first + k;
        const quint32 word = quint32(bytes[4 * k]) | quint32(bytes[4 * k + 1]) << 8
                | quint32(bytes[4 * k + 2]) << 16;
        if (index < 2)
            program(kAppResetIndex + index, word);      // the application's jump, moved
        else if (index == kAppResetIndex || index == kAppResetIndex + 1)
            continue;                                   // reserved for that jump
        else
            program(index, word);
    }
    return true;
}

void FlashModel::program(quint32 index, quint32 word)
{
    if (m_stuck >= 0 && qint64(index) == m_stuck / 2)
        return;
    m_words[index] &= word;
}

quint32 FlashModel::instruction(quint32 address) const
{
    if (address < kProgramEnd)
        return m_words[address / 2];
    if (address == kDeviceIdAddress)
        return kDeviceId;
    return 0;
}

QByteArray FlashModel::read(quint32 address, int instructions) const
{
    QByteArray out;
    out.reserve(4 * qMax(0, instructions));
    for (int k = 0; k < instructions; ++k) {
        const quint32 word = instruction((address & ~1u) + 2u * quint32(k));
        out.append(char(word & 0xFF));
        out.append(char((word >> 8) & 0xFF));
        out.append(char((word >> 16) & 0xFF));
        out.append(char(0));
    }
    return out;
}

QByteArray FlashModel::fileBytes() const
{
    return read(0, int(kWords));
}

void FlashModel::fill(quint8 value)
{
    const quint32 word = quint32(value) * 0x010101u;
    std::fill(m_words.begin(), m_words.end(), word);
}
