#include "SendCommands.h"

#include "MSComm.h"
#include "Seams.h"
#include "SendBox.h"
#include "SendRules.h"
#include "Messages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

namespace corvanel {

SendCommands::SendCommands(MSComm &comm, const SendBox &box, Controls controls, std::function<bool()> ended)
    : m_comm(comm), m_box(box), m_controls(controls), m_ended(std::move(ended))
{
}

void SendCommands::sendText()
{
    m_controls.txLamp->setVisible(true);
    try {
        m_comm.setOutput(m_box.wireText());
    } catch (const CommError &) {
        MsgBox(m_controls.owner, msg::text(msg::PortWrong));
    }
}

void SendCommands::sendDecimal()
{
    const std::optional<qint32> value = readInteger(m_box.wireText());
    const std::optional<QString> byte = value ? characterOfCode(*value) : std::nullopt;
    if (!byte) {
        MsgBox(m_controls.owner, msg::text(msg::DecimalsOnly));
        return;
    }
    try {
        m_comm.setOutput(*byte);
    } catch (const CommError &) {
        MsgBox(m_controls.owner, msg::text(msg::DecimalsOnly));
    }
}

void SendCommands::sendHex()
{
    if (!hexFormatOk(m_box.wireText())) {
        MsgBox(m_controls.owner, msg::text(msg::HexPairs));
        return;
    }
    const qsizetype length = m_box.wireText().size();
    for (qsizetype p = 1; p <= length; p += 3) {
        // Read again at every byte: a yield below may have changed the box.
        const QString byte = *characterOfCode(hexPairAt(m_box.wireText(), p));
        try {
            m_comm.setOutput(byte);
        } catch (const CommError &) {
            MsgBox(m_controls.owner, msg::text(msg::PortWrong));
            return;
        }
        if (m_controls.pause->checkState() == Qt::Checked) {
            QCoreApplication::processEvents();
            if (m_ended())
                return;
            // Not a number, or negative: no pause.
            const std::optional<qint32> pause = readInteger(m_controls.pauseMs->text());
            Sleep(pause && *pause > 0 ? *pause : 0);
        }
    }
}

} // namespace corvanel
