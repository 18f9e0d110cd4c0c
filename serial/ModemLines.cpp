// The DTR and RTS check boxes and the CD, CTS and DSR lamps.

#include "app/Form1.h"
#include "serial/MSComm.h"

#include <QCheckBox>
#include <QLabel>

namespace corvanel {

namespace {
// A check box's value: 0 unticked, 1 ticked, 2 grey.
int checkValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}
} // namespace

void Form1::Check1_Click()
{
    MSComm1->setDTREnable(checkValue(Check1) == 1);
}

void Form1::Check2_Click()
{
    MSComm1->setRTSEnable(checkValue(Check2) == 1);
}

void Form1::refreshLamp(QLabel *lamp, bool (MSComm::*holding)() const)
{
    try {
        lamp->setVisible((MSComm1.get()->*holding)());
    } catch (const CommError &) {
        // A port that closed under us reports no lines: the lamp goes red.
        lamp->setVisible(false);
    }
}

bool Form1::pauseTicked() const
{
    return checkValue(Check3) == 1;
}

} // namespace corvanel
