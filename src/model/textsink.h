#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kelmora::model {

// Text made record by record for a destination that may take it in pieces: an all-time report runs past a
// hundred megabytes, and holding it whole costs more than writing it. Producers append to Text() and call
// Pour() after each record; the sink either keeps everything in one string or hands it on whenever a piece
// has gathered.
class TextSink
{
public:
    using Drain = std::function<bool(std::string_view)>;

    // Keeps everything, appended to `text` after what it holds already.
    explicit TextSink(std::string& text) : m_text(&text) {}
    // Hands the text to `drain` in pieces of about `pieceSize` bytes, the rest at Finish. Small enough to stay
    // in the processor's cache between filling and draining.
    explicit TextSink(Drain drain, std::size_t pieceSize = 128 * 1024);
    TextSink(const TextSink&) = delete;
    TextSink& operator=(const TextSink&) = delete;

    std::string& Text() { return *m_text; }
    void Append(std::string_view text) { m_text->append(text); }
    // The producer's guess of what is still to come; only a sink that keeps everything makes room for it.
    void Expect(std::size_t bytes);
    // False once the destination has refused a piece: the producer should stop, as nothing more arrives.
    bool Pour() { return m_text->size() < m_pieceSize ? m_ok : HandOn(); }
    // Hands on whatever is left; false when the destination refused any piece.
    bool Finish() { return m_text->empty() || m_pieceSize == SIZE_MAX ? m_ok : HandOn(); }

private:
    bool HandOn();

    std::string m_piece;
    std::string* m_text;
    Drain m_drain;
    std::size_t m_pieceSize = SIZE_MAX;
    bool m_ok = true;
};

} // namespace kelmora::model
