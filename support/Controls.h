#pragma once

#include "ControlTable.h"
#include "Form1.h"
#include "Outline.h"
#include "ReceiveView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

// The main window's controls, found by the names its table (ControlTable.h)
// gives them: the window keeps them to itself, and tests and benchmarks reach
// them as a user would, by name. Each member's class comes from the table's
// kind, so a name the table lacks does not compile.
struct Controls
{
    explicit Controls(const QWidget &form) : m_form(form) {}

    template <typename T>
    T *get(const char *name) const
    {
        return m_form.findChild<T *>(QString::fromLatin1(name));
    }

private:
    const QWidget &m_form;

public:
#define CORVANEL_CONTROL(Name) CORVANEL_CONTROL_CLASS(Name) *const Name = get<CORVANEL_CONTROL_CLASS(Name)>(#Name);
    CORVANEL_NAMED_CONTROLS(CORVANEL_CONTROL)
#undef CORVANEL_CONTROL
    const std::array<QRadioButton *, 3> Option1 {get<QRadioButton>(corvanel::Option1Names[0]),
                                                 get<QRadioButton>(corvanel::Option1Names[1]),
                                                 get<QRadioButton>(corvanel::Option1Names[2])};
};
