#include "Form1.h"

#include "CaretRest.h"
#include "Form2.h"
#include "ModemLines.h"
#include "Receiver.h"
#include "Seams.h"
#include "SendBox.h"
#include "SendCommands.h"
#include "SendLoop.h"
#include "ReceiveView.h"
#include "Pictures.h"
#include "Conversions.h"
#include "MSComm.h"
#include "Messages.h"
#include "PortList.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>
#include <functional>

namespace corvanel {

Form1::Form1(std::unique_ptr<MSComm> comm, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      MSComm1(std::move(comm)),
      m_programEnd([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(msg::text(msg::WindowTitle));
    setWindowIcon(applicationIcon());
    setFixedSize(369, 304);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    setDialogsAllowed(true); // a new window, a new run
    createControls();
    exposeToScreenReaders();
    fitCaptions();
    setTabOrder();
    createSubsystems();
    wireEvents();
    new CaretRest(CaretRestMs, this);
}

Form1::~Form1() = default;

void Form1::createSubsystems()
{
    const auto ended = [this] { return m_ended; };
    m_sendBox = new SendBox(Text1, this);
    m_sendCommands = std::make_unique<SendCommands>(*MSComm1, *m_sendBox,
                                                    SendCommands::Controls {Image2, Check3, Text3, this}, ended);
    m_sendLoop = std::make_unique<SendLoop>(*MSComm1, *m_sendBox, SendLoop::Controls {Image2, Command1, this}, ended);
    m_lines = std::make_unique<ModemLines>(*MSComm1, ModemLines::Controls {Check1, Check2, Image7, Image6, Image9});
    m_receiver = new Receiver(
        *MSComm1, m_module.ReceiveMode, Receiver::Controls {Text2, Image3, this},
        Receiver::Hooks {[this](qint16 code) { m_lines->refresh(code); }, [this] { Image2->setVisible(false); }}, this);
}

template <typename Sender, typename Signal, typename Handler>
void Form1::on(Sender *sender, Signal signal, Handler handler)
{
    // Every event reaches its handler through here: once the program has
    // ended none runs, however long the event had been waiting in the queue
    // (behind Exit, or in a send's yield that handled Exit).
    connect(sender, signal, this, [this, handler] {
        if (!m_ended)
            std::invoke(handler, *this);
    });
}

void Form1::wireEvents()
{
    on(Command4, &QPushButton::clicked, &Form1::Command4_Click);
    on(Command7, &QPushButton::clicked, &Form1::Command7_Click);
    on(Combo1, &QComboBox::activated, &Form1::Combo1_Click);
    on(Combo2, &QComboBox::activated, &Form1::Combo2_Click);
    on(Combo3, &QComboBox::activated, &Form1::Combo3_Click);
    on(Combo4, &QComboBox::activated, &Form1::Combo4_Click);
    on(Check1, &QCheckBox::clicked, &Form1::Check1_Click);
    on(Check2, &QCheckBox::clicked, &Form1::Check2_Click);
    on(Command3, &QPushButton::clicked, &Form1::Command3_Click);
    on(Command8, &QPushButton::clicked, &Form1::Command8_Click);
    on(Command9, &QPushButton::clicked, &Form1::Command9_Click);
    on(Command1, &QPushButton::clicked, &Form1::Command1_Click);
    for (qint16 i = 0; i < 3; ++i)
        on(Option1[static_cast<size_t>(i)], &QRadioButton::clicked, [i](Form1 &f) { f.Option1_Click(i); });
    on(Command5, &QPushButton::clicked, &Form1::Command5_Click);
    on(Command6, &QPushButton::clicked, &Form1::Command6_Click);
    on(MSComm1.get(), &MSComm::OnComm, &Form1::MSComm1_OnComm);
    on(Text2, &ReceiveView::saveRequested, &Form1::Text2_SaveAs);
    Combo1->installEventFilter(this);
}

void Form1::Form_Load()
{
    m_module.ReceiveMode = 0;
    m_module.Parity = QStringLiteral("N");
    m_module.PortNumber = lenientValue(Combo1->currentText());
    m_module.BaudRate = 9600.0;
    m_module.DataBits = 8.0;
    configurePort();
    m_sendLoop->setActive(false);
    m_lines->refreshAll();
    Text1->setFocus();
}

void Form1::configurePort()
{
    const PortOutcome outcome = m_module.ConfigurePort(*MSComm1);
    if (outcome.shown)
        Label5->setText(*outcome.shown);
    if (!outcome.opened)
        MsgBox(this, msg::text(msg::PortMissing));
}

void Form1::Combo1_Click()
{
    m_module.PortNumber = lenientValue(Combo1->currentText());
    configurePort();
}

void Form1::Combo2_Click()
{
    m_module.BaudRate = Combo2->currentText();
    configurePort();
}

void Form1::Combo3_Click()
{
    m_module.Parity = Combo3->currentText();
    configurePort();
}

void Form1::Combo4_Click()
{
    m_module.DataBits = Combo4->currentText();
    configurePort();
}

void Form1::Check1_Click()
{
    m_lines->dtrClicked();
}
void Form1::Check2_Click()
{
    m_lines->rtsClicked();
}

void Form1::Command3_Click()
{
    m_sendCommands->sendText();
}
void Form1::Command8_Click()
{
    m_sendCommands->sendDecimal();
}
void Form1::Command9_Click()
{
    m_sendCommands->sendHex();
}
void Form1::Command1_Click()
{
    m_sendLoop->click();
}
bool Form1::LoopActive() const
{
    return m_sendLoop->active();
}

void Form1::MSComm1_OnComm()
{
    m_receiver->dispatch();
}
void Form1::Option1_Click(qint16 Index)
{
    m_receiver->chooseMode(Index);
}
void Form1::Command5_Click()
{
    Text2->clear();
}
void Form1::Text2_SaveAs()
{
    m_receiver->saveAs();
}

void Form1::Command6_Click()
{
    Text1->clear();
    Text1->setFocus();
}

void Form1::Command7_Click()
{
    if (!m_help)
        m_help = std::make_unique<Form2>();
    m_help->showHelp();
}

void Form1::Command4_Click()
{
    endProgram();
}

void Form1::endProgram()
{
    if (m_ended)
        return;
    // From here on no handler runs (see on()), no input reaches a control
    // and no dialog shows.
    m_ended = true;
    setEnabled(false);
    setDialogsAllowed(false);
    // A loop or paced hex send that resumes after this sees m_ended and stops.
    m_sendLoop->setActive(false);
    MSComm1->setPortOpen(false);
    if (m_help)
        m_help->close();
    hide();
    m_programEnd();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The title bar's close does what Exit does.
    endProgram();
    event->accept();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Combo1 && event->type() == QEvent::ToolTip) {
        // Name the devices as they are now: adapters come and go.
        const QString tip = portListTooltip(MSComm1->portDevices());
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, Combo1);
        Combo1->setToolTip(tip);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace corvanel
