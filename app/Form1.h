#pragma once

#include "ControlTable.h"
#include "Module1.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

namespace corvanel {

class Form2;
class MSComm;
class ModemLines;
class Receiver;
class SendBox;
class SendCommands;
class SendLoop;

// The main window: its controls, built from their table (ControlTable.h,
// which also declares their classes, and Layout.cpp), start-up, Exit, and
// the wiring of every event to the object that owns the behaviour:
// SendCommands and SendLoop (transmit/), Receiver (receive/), ModemLines,
// and Module1's ConfigurePort (serial/). Tests reach the controls by their
// object names.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // Takes ownership of the port component.
    explicit Form1(std::unique_ptr<MSComm> comm, QWidget *parent = nullptr);
    ~Form1() override;

    // The caret stops blinking after this long without input.
    static constexpr int CaretRestMs = 10000;

    // Start-up: runs once, after construction and before the window is shown.
    void Form_Load();

    // Replaces what ends the program after Exit (tests record it instead).
    void setProgramEnd(std::function<void()> end) { m_programEnd = std::move(end); }
    bool ended() const { return m_ended; }
    bool LoopActive() const;
    MSComm &comm() const { return *MSComm1; }
    const Module1 &settings() const { return m_module; }

    // Exit.
    void Command4_Click();
    // Help.
    void Command7_Click();
    // Port settings.
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Combo4_Click();
    // Modem lines.
    void Check1_Click();
    void Check2_Click();
    // Send commands and loop.
    void Command3_Click();
    void Command8_Click();
    void Command9_Click();
    void Command1_Click();
    // Receive side.
    void Option1_Click(qint16 Index);
    void Command5_Click();
    void Command6_Click();
    void MSComm1_OnComm();
    // "Salva con nome..." in the receive box's menu.
    void Text2_SaveAs();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Builds every control of the table in ControlTable.h (Layout.cpp).
    void createControls();
    // Fills the members below from the built controls, by their names.
    void bindNames();
    template <typename T>
    T *control(const char *name) const;
    // Names, labels and lamps as screen readers get them (Layout.cpp).
    void exposeToScreenReaders();
    void setTabOrder();
    void fitCaptions();
    void createSubsystems();
    void wireEvents();
    // Connects an event to its handler, which then runs only until the program ends.
    template <typename Sender, typename Signal, typename Handler>
    void on(Sender *sender, Signal signal, Handler handler);
    // Runs ConfigurePort and shows its outcome.
    void configurePort();
    void endProgram();

    // The controls, by the names the table gives them, each of its row's class.
    // NOLINTNEXTLINE(bugprone-macro-parentheses): Name is a member's name, not an expression
#define CORVANEL_MEMBER(Name) CORVANEL_CONTROL_CLASS(Name) *Name = nullptr;
    CORVANEL_NAMED_CONTROLS(CORVANEL_MEMBER)
#undef CORVANEL_MEMBER
    std::array<QRadioButton *, 3> Option1 {};

    std::unique_ptr<MSComm> MSComm1;
    Module1 m_module;
    std::unique_ptr<Form2> m_help;
    SendBox *m_sendBox = nullptr;
    std::unique_ptr<SendCommands> m_sendCommands;
    std::unique_ptr<SendLoop> m_sendLoop;
    Receiver *m_receiver = nullptr;
    std::unique_ptr<ModemLines> m_lines;
    std::function<void()> m_programEnd;
    bool m_ended = false;
};

} // namespace corvanel
