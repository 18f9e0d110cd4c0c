#pragma once

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace corvanel {

class MSComm;
class SendBox;

// "Invia ASCI", "Invia Dec." and "Invia HEX": the send box out once.
class SendCommands
{
public:
    struct Controls
    {
        QLabel *txLamp; // lit when a text send starts
        QCheckBox *pause; // a pause after each hex byte when ticked
        QLineEdit *pauseMs; // how long, in milliseconds
        QWidget *owner; // of the message boxes
    };
    // `ended` tells whether the program has ended, for a send that yields.
    SendCommands(MSComm &comm, const SendBox &box, Controls controls, std::function<bool()> ended);

    void sendText();
    void sendDecimal();
    void sendHex();

private:
    // One byte of the hex send, then the pause when ticked. False: stop.
    bool sendHexByte(int value);

    MSComm &m_comm;
    const SendBox &m_box;
    Controls m_controls;
    std::function<bool()> m_ended;
};

} // namespace corvanel
