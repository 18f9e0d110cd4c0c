#pragma once

#include <QtGlobal>

class QCheckBox;
class QLabel;

namespace corvanel {

class MSComm;

// The DTR and RTS check boxes and the CD, CTS and DSR lamps. The boxes and
// the lamps are the only record of the lines: nothing else is kept.
class ModemLines
{
public:
    struct Controls
    {
        QCheckBox *dtr, *rts;
        QLabel *cd, *cts, *dsr; // the lit images
    };
    ModemLines(MSComm &comm, Controls controls);

    void dtrClicked();
    void rtsClicked();
    // The lamp of the line whose event code this is (CD, CTS or DSR).
    void refresh(qint16 code);
    // All three, at start-up; a closed port cannot report its lines, so its
    // lamps stay dark.
    void refreshAll();

private:
    MSComm &m_comm;
    Controls m_controls;
};

} // namespace corvanel
