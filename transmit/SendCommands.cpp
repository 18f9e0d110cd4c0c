// "Invia ASCI", "Invia Dec." and "Invia HEX": the send box out once.

#include "app/Form1.h"
#include "app/Seams.h"
#include "serial/MSComm.h"
#include "transmit/SendRules.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace corvanel {

QString Form1::sendBoxText() const
{
    // The wire form is kept until the box changes: the hex send reads it at
    // every byte, and converting a long box each time would cost its length.
    if (m_sendTextStale) {
        m_sendText = sendBoxWireText(Text1->document()->toRawText());
        m_sendTextStale = false;
    }
    return m_sendText;
}

bool Form1::transmitSendBox()
{
    try {
        MSComm1->setOutput(sendBoxText());
        return true;
    } catch (const CommError &) {
        return false;
    }
}

void Form1::Command3_Click()
{
    Image2->setVisible(true);
    if (!transmitSendBox())
        MsgBox(this, QStringLiteral("Porta errata"));
}

void Form1::Command8_Click()
{
    const std::optional<qint32> value = readInteger(sendBoxText());
    const std::optional<QString> byte = value ? characterOfCode(*value) : std::nullopt;
    try {
        if (!byte)
            throw CommError("not a byte value");
        MSComm1->setOutput(*byte);
    } catch (const CommError &) {
        MsgBox(this, QStringLiteral("Inserire numeri decimali"));
    }
}

void Form1::Command9_Click()
{
    if (!hexFormatOk(sendBoxText())) {
        MsgBox(this, QStringLiteral("2 CARATTERI E 1 SPAZIO es: 02 34 FE 1A "));
        return;
    }
    const qsizetype length = sendBoxText().size();
    for (qsizetype p = 1; p <= length; p += 3) {
        // Read again at every byte: a yield below may have changed the box.
        const QString byte = *characterOfCode(hexPairAt(sendBoxText(), p));
        try {
            MSComm1->setOutput(byte);
        } catch (const CommError &) {
            MsgBox(this, QStringLiteral("Porta errata"));
            return;
        }
        if (pauseTicked()) {
            QCoreApplication::processEvents();
            if (m_ended)
                return;
            // Not a number, or negative: no pause.
            const std::optional<qint32> pause = readInteger(Text3->text());
            Sleep(pause && *pause > 0 ? *pause : 0);
        }
    }
}

} // namespace corvanel
