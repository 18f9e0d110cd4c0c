#pragma once

#include "Controls.h"
#include "FakeComm.h"
#include "Form1.h"
#include "Seams.h"

#include <QComboBox>
#include <QStringList>
#include <memory>

// A main window on a fake port, with message boxes, sleeps and the program's
// end recorded instead of carried out.
struct FormFixture
{
    QStringList messages;
    QList<qint32> sleeps;
    int programEnds = 0;
    FakeComm *comm = nullptr;
    std::unique_ptr<corvanel::Form1> form;
    std::unique_ptr<Controls> ui; // the window's controls, by name

    explicit FormFixture(bool load = true, const std::function<void(FakeComm &)> &setUp = {})
    {
        corvanel::setMessageHandler([this](QObject *, const QString &text) { messages << text; });
        corvanel::setSleepHandler([this](qint32 ms) { sleeps << ms; });
        auto fake = std::make_unique<FakeComm>();
        comm = fake.get();
        if (setUp)
            setUp(*comm);
        form = std::make_unique<corvanel::Form1>(std::move(fake));
        form->setProgramEnd([this] { ++programEnds; });
        ui = std::make_unique<Controls>(*form);
        if (load)
            form->Form_Load();
    }
    ~FormFixture()
    {
        form.reset();
        corvanel::setMessageHandler({});
        corvanel::setSleepHandler({});
    }

    // Chooses an item from a list, as a click in the drop-down does.
    static void choose(QComboBox *combo, const QString &text)
    {
        const int i = combo->findText(text);
        combo->setCurrentIndex(i);
        Q_EMIT combo->activated(i);
    }
};
