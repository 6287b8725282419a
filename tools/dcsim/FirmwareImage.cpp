#include "FirmwareImage.h"

#include "Crc32.h"

#include <cstring>

FirmwareImage::FirmwareImage() : m_bytes(kCapacity, '\xff') {}

void FirmwareImage::erase() {
    m_bytes.fill('\xff');
    m_writtenSize = 0;
    m_erased = true;
    m_verified = false;
}

bool FirmwareImage::writeBlock(const unsigned char* block, int length, int offset) {
    if (!m_erased || length < 0 || offset < 0 || offset > kCapacity - length) {
        return false;
    }
    if (length > 0) {
        std::memcpy(m_bytes.data() + offset, block, static_cast<std::size_t>(length));
        if (offset + length > m_writtenSize) {
            m_writtenSize = offset + length;
        }
    }
    m_verified = false;
    return true;
}

bool FirmwareImage::check(std::uint32_t size, std::uint32_t checkValue) {
    m_verified =
        m_erased && size == static_cast<std::uint32_t>(m_writtenSize) && writtenCrc() == checkValue;
    return m_verified;
}

std::uint32_t FirmwareImage::writtenCrc() const {
    return crc32Ieee(reinterpret_cast<const unsigned char*>(m_bytes.constData()),
                     static_cast<std::size_t>(m_writtenSize));
}

bool FirmwareImage::restore(bool erased, bool verified, const QByteArray& written) {
    if (written.size() > kCapacity || (!erased && !written.isEmpty())) {
        return false;
    }
    m_bytes.fill('\xff');
    std::memcpy(m_bytes.data(), written.constData(), static_cast<std::size_t>(written.size()));
    m_writtenSize = static_cast<int>(written.size());
    m_erased = erased;
    m_verified = erased && verified;
    return true;
}
