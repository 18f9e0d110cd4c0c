#include "app/Form1.h"

#include "app/CaretRest.h"
#include "help/Form2.h"
#include "receive/ReceiveView.h"
#include "resources/Pictures.h"
#include "serial/Conversions.h"
#include "serial/MSComm.h"
#include "serial/PortList.h"

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

namespace corvanel {

Form1::Form1(std::unique_ptr<MSComm> comm, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      MSComm1(std::move(comm)),
      m_programEnd([] { QCoreApplication::quit(); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvanel ver 1.6  -email: corvanel@example.org    www.example.org/corvanel"));
    setWindowIcon(applicationIcon());
    setFixedSize(369, 304);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    createControls();
    fitCaptions();
    setTabOrder();

    // The RX lamp goes dark 100 ms after the last arrival. Arrivals come
    // thousands of times a second: they only note the time, and the timer
    // looks again when it fires.
    m_rxOff = new QTimer(this);
    m_rxOff->setSingleShot(true);
    connect(m_rxOff, &QTimer::timeout, this, [this] {
        const qint64 since = m_lastArrival.elapsed();
        if (since >= RxLampMs)
            Image3->setVisible(false);
        else
            m_rxOff->start(static_cast<int>(RxLampMs - since));
    });

    wireEvents();
    new CaretRest(CaretRestMs, this);
}

Form1::~Form1() = default;

void Form1::wireEvents()
{
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Combo1, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo2, &QComboBox::activated, this, &Form1::Combo2_Click);
    connect(Combo3, &QComboBox::activated, this, &Form1::Combo3_Click);
    connect(Combo4, &QComboBox::activated, this, &Form1::Combo4_Click);
    connect(Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    for (qint16 i = 0; i < 3; ++i)
        connect(Option1[static_cast<size_t>(i)], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(MSComm1.get(), &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(Text1, &QPlainTextEdit::textChanged, this, [this] { m_sendTextStale = true; });
    Combo1->installEventFilter(this);
}

void Form1::Form_Load()
{
    m_module.ReceiveMode = 0;
    m_module.Parity = QStringLiteral("N");
    m_module.PortNumber = lenientValue(Combo1->currentText());
    m_module.BaudRate = 9600.0;
    m_module.DataBits = 8.0;
    m_module.ConfigurePort(*MSComm1, *Label5, this);
    m_loopActive = false;
    // A closed port cannot report its lines: its lamps stay red.
    if (MSComm1->PortOpen()) {
        refreshLamp(Image7, &MSComm::CDHolding);
        refreshLamp(Image6, &MSComm::CTSHolding);
        refreshLamp(Image9, &MSComm::DSRHolding);
    }
    Text1->setFocus();
}

void Form1::Combo1_Click()
{
    m_module.PortNumber = lenientValue(Combo1->currentText());
    m_module.ConfigurePort(*MSComm1, *Label5, this);
}

void Form1::Combo2_Click()
{
    m_module.BaudRate = Combo2->currentText();
    m_module.ConfigurePort(*MSComm1, *Label5, this);
}

void Form1::Combo3_Click()
{
    m_module.Parity = Combo3->currentText();
    m_module.ConfigurePort(*MSComm1, *Label5, this);
}

void Form1::Combo4_Click()
{
    m_module.DataBits = Combo4->currentText();
    m_module.ConfigurePort(*MSComm1, *Label5, this);
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
    m_ended = true;
    // A loop or paced hex send that resumes after this sees m_ended and stops.
    m_loopActive = false;
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
