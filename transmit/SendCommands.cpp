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
{}

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
    const bool formatOk
        = runHexSend([this] { return m_box.wireText(); }, [this](int value) { return sendHexByte(value); });
    if (!formatOk)
        MsgBox(m_controls.owner, msg::text(msg::HexPairs));
}

bool SendCommands::sendHexByte(int value)
{
    try {
        m_comm.setOutput(*characterOfCode(value));
    } catch (const CommError &) {
        MsgBox(m_controls.owner, msg::text(msg::PortWrong));
        return false;
    }
    if (m_controls.pause->checkState() == Qt::Checked) {
        QCoreApplication::processEvents();
        if (m_ended())
            return false;
        // Not a number, or negative: no pause.
        const std::optional<qint32> pause = readInteger(m_controls.pauseMs->text());
        Sleep(pause && *pause > 0 ? *pause : 0);
    }
    return true;
}

} // namespace corvanel
