#pragma once

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

// The main window's controls, found by their object names: the window keeps
// them to itself, and tests and benchmarks reach them as a user would, by name.
struct Controls {
    explicit Controls(const QWidget &form) : m_form(form) {}

    template <typename T>
    T *get(const char *name) const
    {
        return m_form.findChild<T *>(QString::fromLatin1(name));
    }

private:
    const QWidget &m_form;

public:
#define CONTROL(Type, Name) Type *const Name = get<Type>(#Name)
    CONTROL(QLabel, Label1); CONTROL(QLabel, Label2); CONTROL(QLabel, Label3); CONTROL(QLabel, Label4);
    CONTROL(QLabel, Label5); CONTROL(QLabel, Label6); CONTROL(QLabel, Label7); CONTROL(QLabel, Label8);
    CONTROL(QLabel, Label9); CONTROL(QLabel, Label10); CONTROL(QLabel, Label11); CONTROL(QLabel, Label12);
    CONTROL(QLabel, Label13); CONTROL(QLabel, Label14); CONTROL(QLabel, Label15); CONTROL(QLabel, Label16);
    CONTROL(QLabel, Label17);
    CONTROL(QComboBox, Combo1); CONTROL(QComboBox, Combo2); CONTROL(QComboBox, Combo3); CONTROL(QComboBox, Combo4);
    CONTROL(QCheckBox, Check1); CONTROL(QCheckBox, Check2); CONTROL(QCheckBox, Check3);
    CONTROL(QLabel, Image1); CONTROL(QLabel, Image2); CONTROL(QLabel, Image3); CONTROL(QLabel, Image4);
    CONTROL(QLabel, Image5); CONTROL(QLabel, Image6); CONTROL(QLabel, Image7); CONTROL(QLabel, Image8);
    CONTROL(QLabel, Image9); CONTROL(QLabel, Image10);
    CONTROL(QPlainTextEdit, Text1);
    CONTROL(corvanel::ReceiveView, Text2);
    CONTROL(QLineEdit, Text3);
    CONTROL(QPushButton, Command1); CONTROL(QPushButton, Command3); CONTROL(QPushButton, Command4);
    CONTROL(QPushButton, Command5); CONTROL(QPushButton, Command6); CONTROL(QPushButton, Command7);
    CONTROL(QPushButton, Command8); CONTROL(QPushButton, Command9);
    CONTROL(corvanel::Outline, Shape1); CONTROL(corvanel::Outline, Shape2); CONTROL(corvanel::Outline, Shape3);
    CONTROL(corvanel::Outline, Shape4);
#undef CONTROL
    const std::array<QRadioButton *, 3> Option1 {get<QRadioButton>("Option1(0)"), get<QRadioButton>("Option1(1)"),
                                                 get<QRadioButton>("Option1(2)")};
};
