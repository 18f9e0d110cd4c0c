#include "MSComm.h"

namespace corvanel {

MSComm::~MSComm() = default;

void MSComm::raiseEvent(qint16 code)
{
    m_commEvent = code;
    Q_EMIT OnComm();
}

} // namespace corvanel
