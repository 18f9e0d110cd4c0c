#include "ParityMark.h"

namespace corvanel {

QByteArray ParityMarkDecoder::decode(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        switch (m_state) {
        case State::Plain:
            if (b == 0xFF)
                m_state = State::SawFF;
            else
                out.append(c);
            break;
        case State::SawFF:
            if (b == 0xFF) {
                out.append(c);
                m_state = State::Plain;
            } else if (b == 0x00) {
                m_state = State::SawFF00;
            } else {
                // Not a mark the driver would produce: keep both bytes.
                out.append('\xFF');
                out.append(c);
                m_state = State::Plain;
            }
            break;
        case State::SawFF00:
            out.append(m_replacement);
            m_state = State::Plain;
            break;
        }
    }
    return out;
}

} // namespace corvanel
