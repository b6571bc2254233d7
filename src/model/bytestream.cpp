#include "bytestream.h"

namespace kelmora::model {

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
