#include "textsink.h"

namespace kelmora::model {

TextSink::TextSink(Drain drain, std::size_t pieceSize)
    : m_text(&m_piece), m_drain(std::move(drain)), m_pieceSize(pieceSize)
{
    // A record may overrun the piece size a little; the buffer is allocated once.
    m_piece.reserve(pieceSize + pieceSize / 4);
}

void TextSink::Expect(std::size_t bytes)
{
    if (m_pieceSize == SIZE_MAX) {
        m_text->reserve(m_text->size() + bytes);
    }
}

bool TextSink::HandOn()
{
    if (m_ok && !m_drain(*m_text)) {
        m_ok = false;
    }
    m_text->clear();
    return m_ok;
}

} // namespace kelmora::model
