#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class QLabel;
class QWidget;

namespace corvanel {

class MSComm;
class ReceiveView;

// The port's notifications and what arrives: dispatches each event by its
// code, shows received data in the receive box in the chosen display mode,
// and lights the RX lamp while data keeps arriving.
class Receiver : public QObject
{
    Q_OBJECT
public:
    struct Controls
    {
        ReceiveView *box;
        QLabel *rxLamp;
        QWidget *owner; // of message boxes and the save dialog
    };
    // What the other subsystems do on their events.
    struct Hooks
    {
        std::function<void(qint16 code)> lineChanged; // CD, CTS or DSR changed
        std::function<void()> sendDone; // the output buffer emptied
    };
    // `receiveMode` is the connection setting ReceiveMode, kept by its owner.
    Receiver(MSComm &comm, qint16 &receiveMode, Controls controls, Hooks hooks, QObject *parent);

    // OnComm: reads CommEvent once and acts on it.
    void dispatch();
    // The display-mode buttons: 0 text, 1 hex, 2 decimal; any other index changes nothing.
    void chooseMode(qint16 index);
    // "Salva con nome...": asks for a file and writes the box to it.
    void saveAs();

private:
    void showReceived();

    // The RX lamp goes dark between RxLampMs and RxLampMs + RxLampSlackMs
    // after the last arrival.
    static constexpr int RxLampMs = 100;
    static constexpr int RxLampSlackMs = 50;
    MSComm &m_comm;
    qint16 &m_mode;
    Controls m_controls;
    Hooks m_hooks;
    QTimer m_rxOff;
    QByteArray m_shown; // what a read adds to the box, in the display mode
};

} // namespace corvanel
