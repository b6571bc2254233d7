#include "bytestream.h"

namespace kelmora::model {

bool ByteReader::ReadU8(std::uint8_t& value)
{
    if (Remaining() < 1) {
        return false;
    }
    value = static_cast<std::uint8_t>(m_bytes[m_pos]);
    ++m_pos;
    return true;
}

bool ByteReader::ReadU32(std::uint32_t& value)
{
    if (Remaining() < 4) {
        return false;
    }
    std::uint32_t result = 0;
    for (int i = 3; i >= 0; --i) {
        result = (result << 8) | static_cast<std::uint8_t>(m_bytes[m_pos + static_cast<std::size_t>(i)]);
    }
    m_pos += 4;
    value = result;
    return true;
}

bool ByteReader::ReadI32(std::int32_t& value)
{
    std::uint32_t raw = 0;
    if (!ReadU32(raw)) {
        return false;
    }
    value = static_cast<std::int32_t>(raw); // two's complement, well defined since C++20
    return true;
}

bool ByteReader::ReadU64(std::uint64_t& value)
{
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (Remaining() < 8) {
        return false;
    }
    ReadU32(low);
    ReadU32(high);
    value = std::uint64_t{high} << 32 | low;
    return true;
}

bool ByteReader::ReadBytes(std::size_t count, std::string& out)
{
    if (Remaining() < count) {
        return false;
    }
    out.assign(m_bytes.substr(m_pos, count));
    m_pos += count;
    return true;
}

void ByteWriter::WriteU8(std::uint8_t value)
{
    m_bytes.push_back(static_cast<char>(value));
}

void ByteWriter::WriteU32(std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        m_bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
    }
}

void ByteWriter::WriteI32(std::int32_t value)
{
    WriteU32(static_cast<std::uint32_t>(value));
}

void ByteWriter::WriteU64(std::uint64_t value)
{
    WriteU32(static_cast<std::uint32_t>(value));
    WriteU32(static_cast<std::uint32_t>(value >> 32));
}

void ByteWriter::WriteBytes(std::string_view bytes)
{
    m_bytes.append(bytes);
}

} // namespace kelmora::model
