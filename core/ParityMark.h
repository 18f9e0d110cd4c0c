#pragma once

#include <QByteArray>

namespace corvanel {

// Decodes a byte stream read with the terminal's PARMRK flag: 0xFF 0xFF is a
// received 0xFF; 0xFF 0x00 X marks X as received with a parity or framing
// error (0xFF 0x00 0x00 is a break) and becomes the replacement byte.
// Sequences may be split across reads: the decoder keeps the unfinished tail.
class ParityMarkDecoder
{
public:
    explicit ParityMarkDecoder(char replacement = '?') : m_replacement(replacement) {}

    QByteArray decode(const QByteArray &raw);
    void reset() { m_state = State::Plain; }

private:
    enum class State { Plain, SawFF, SawFF00 };
    State m_state = State::Plain;
    char m_replacement;
};

} // namespace corvanel
