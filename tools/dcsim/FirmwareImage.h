#pragma once

#include <QByteArray>
#include <cstdint>

// The program memory of a device in boot-loader mode. Like flash it must be erased before it
// takes blocks; erased bytes read 0xFF. The written size is the end of the furthest non-empty
// block since the last erase.
class FirmwareImage {
public:
    static constexpr int kCapacity = 65849;

    // The state on entering boot-loader mode: the old program is still there, nothing erased.
    FirmwareImage();

    void erase();
    // False (and nothing written) before the first erase or when the block does not fit.
    bool writeBlock(const unsigned char* block, int length, int offset);
    // Records the outcome for finishing the update; any later erase or block clears it.
    bool check(std::uint32_t size, std::uint32_t checkValue);

    bool erased() const { return m_erased; }
    bool verified() const { return m_verified; }
    int writtenSize() const { return m_writtenSize; }
    // CRC-32 of the written bytes.
    std::uint32_t writtenCrc() const;
    QByteArray writtenBytes() const { return m_bytes.left(m_writtenSize); }

    // Rebuilds an image from its saved parts; false if they do not fit.
    bool restore(bool erased, bool verified, const QByteArray& written);

private:
    QByteArray m_bytes;
    int m_writtenSize = 0;
    bool m_erased = false;
    bool m_verified = false;
};
