#pragma once

#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace corvanel {

class MSComm;
class SendBox;

// "Invia loop": the send box out again and again until the same button stops
// it. Each pass first handles every pending event, so that a click stops the
// loop, data keeps arriving and a list choice can reopen the port; a click
// while a loop runs starts a nested activation, and all of them end together.
class SendLoop
{
public:
    struct Controls
    {
        QLabel *txLamp;
        QPushButton *button; // its caption tells whether a loop runs
        QWidget *owner; // of the message box
    };
    SendLoop(MSComm &comm, const SendBox &box, Controls controls, std::function<bool()> ended);

    // The button's click: starts a loop, or stops the one running.
    void click();
    // LoopActive.
    bool active() const { return m_active; }
    void setActive(bool active) { m_active = active; }

private:
    // Handles pending events, then waits, still handling them, while the port
    // holds more than its output buffer (a slow line would otherwise queue
    // without bound).
    void yield();
    // Ends every activation after a refused write, with one message.
    void abandon();

    MSComm &m_comm;
    const SendBox &m_box;
    Controls m_controls;
    std::function<bool()> m_ended;
    bool m_active = false;
    bool m_failed = false; // a write was refused: every activation unwinds
    int m_depth = 0; // activations on the stack
};

} // namespace corvanel
