#pragma once

// The main window declared as data: every control with its name, kind, text,
// box in twips (15 to a pixel at 96 dots per inch), place in the keyboard
// order and look. Layout.cpp builds the window from this table, in its order
// (which is also the order the controls stack in, first at the bottom), and
// the tests, benchmarks and tools find the controls through it.

#include "Messages.h"

#include <cstddef>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace corvanel {

class Outline;
class ReceiveView;

enum class Kind { Outline, Label, Combo, Check, Lamp, PauseField, SendBox, ReceiveBox, Option, Button };

// How a control looks beyond its box: colours, font, alignment.
enum class Look {
    OrangeOutline, // a one-pixel orange outline with curved corners
    OliveOutline, // the same in olive
    OrangeText, // orange 9.75 point on the window
    OrangeOnBlack, // orange 9.75 point, opaque
    OrangeRight, // as OrangeOnBlack, right-aligned
    Heading, // yellow 9.75 point bold on the window
    LampCaption, // orange, centred, opaque
    LampCaptionBare, // orange, centred, on the window
    YellowOnBlack, // yellow, opaque
    PortCombo, // dark green bold on white
    PlainCombo, // the system's colours
    CheckOnBlack, // a check square on black
    Unlit, // the red lamp picture, shown
    Lit, // the green lamp picture, hidden until the line is up
    PauseField, // small, right-aligned, no frame
    SendBox, // black on pale green, no scroll bars
    ReceiveBox, // black on pale orange
    WhiteOnBlack, // an option button
    ChosenOption, // the same, selected
    Button, // the window's font
    BoldButton, // bold
    BigBoldButton, // 12 point bold
};

struct Twips
{
    int left, top, width, height;
};

struct ControlRow
{
    const char *name;
    Kind kind;
    const char *text; // UTF-8; a combo box's initial text
    Twips box;
    int tab; // place in the keyboard order, 0 first; -1 for controls outside it
    Look look;
    const char *list = nullptr; // a combo box's items, separated by blanks
    const char *accessibleName = nullptr; // where the caption beside it is not enough
    const char *toolTip = nullptr;
};

inline constexpr ControlRow Form1Controls[] = {
    // Outlines first, so that every control lies above them.
    {"Shape1", Kind::Outline, "", {0, 0, 5535, 4575}, -1, Look::OrangeOutline},
    {"Shape3", Kind::Outline, "", {360, 240, 2295, 495}, -1, Look::OliveOutline},
    {"Shape4", Kind::Outline, "", {2760, 240, 2535, 495}, -1, Look::OliveOutline},
    {"Shape2", Kind::Outline, "", {3480, 720, 1815, 495}, -1, Look::OliveOutline},

    // Connection settings.
    {"Label6", Kind::Label, "Impostato:", {480, 360, 975, 255}, 11, Look::OrangeText},
    {"Label5", Kind::Label, "9600,n,8,1", {1440, 360, 1155, 255}, 10, Look::OrangeOnBlack},
    {"Label2", Kind::Label, "Porta", {360, 840, 1695, 375}, 4, Look::Heading},
    {"Label4", Kind::Label, "bit/sec", {1080, 840, 855, 375}, 9, Look::Heading},
    {"Label15", Kind::Label, "Dati", {2040, 840, 495, 375}, 28, Look::Heading},
    {"Label7", Kind::Label, "Parità", {2640, 840, 735, 375}, 16, Look::Heading},
    {"Combo1", Kind::Combo, "1", {360, 1200, 495, 315}, 3, Look::PortCombo, "1 2 3 4 5 6 7 8", msg::PortName},
    {"Combo2",
     Kind::Combo,
     "9600",
     {960, 1200, 975, 315},
     8,
     Look::PortCombo,
     "110 300 600 1200 2400 4800 9600 14400 19200 28800 38400 57600 115200",
     msg::BaudName},
    {"Combo4", Kind::Combo, "8", {2040, 1200, 495, 315}, 27, Look::PlainCombo, "8 7 6", msg::DataBitsName},
    {"Combo3",
     Kind::Combo,
     "N",
     {2640, 1200, 495, 315},
     15,
     Look::PlainCombo,
     "N E O",
     msg::ParityName,
     msg::ParityHint},

    // Modem lines.
    {"Label8", Kind::Label, "DTR:", {3360, 1320, 495, 255}, 17, Look::OrangeRight},
    {"Check1", Kind::Check, "", {3960, 1320, 255, 255}, 19, Look::CheckOnBlack, nullptr, msg::DtrName},
    {"Label9", Kind::Label, "RTS:", {4200, 1320, 615, 255}, 18, Look::OrangeRight},
    {"Check2", Kind::Check, "", {4920, 1320, 255, 255}, 20, Look::CheckOnBlack, nullptr, msg::RtsName},

    // Lamps: the unlit image first, the lit one above it.
    {"Image1", Kind::Lamp, "", {2880, 360, 225, 225}, -1, Look::Unlit},
    {"Image2", Kind::Lamp, "", {2880, 360, 225, 225}, -1, Look::Lit},
    {"Label10", Kind::Label, "TX", {3120, 360, 255, 255}, 21, Look::LampCaption},
    {"Image4", Kind::Lamp, "", {3600, 360, 225, 225}, -1, Look::Unlit},
    {"Image3", Kind::Lamp, "", {3600, 360, 225, 225}, -1, Look::Lit},
    {"Label11", Kind::Label, "RX", {3840, 360, 375, 255}, 22, Look::LampCaption},
    {"Image10", Kind::Lamp, "", {4320, 360, 225, 225}, -1, Look::Unlit},
    {"Image9", Kind::Lamp, "", {4320, 360, 225, 225}, -1, Look::Lit},
    {"Label14", Kind::Label, "DSR", {4560, 360, 495, 255}, 25, Look::LampCaption},
    {"Image8", Kind::Lamp, "", {3600, 840, 225, 225}, -1, Look::Unlit},
    {"Image7", Kind::Lamp, "", {3600, 840, 225, 225}, -1, Look::Lit},
    {"Label13", Kind::Label, "CD", {3840, 840, 375, 255}, 24, Look::LampCaption},
    {"Image5", Kind::Lamp, "", {4320, 840, 225, 225}, -1, Look::Unlit},
    {"Image6", Kind::Lamp, "", {4320, 840, 225, 225}, -1, Look::Lit},
    {"Label12", Kind::Label, "CTS", {4560, 840, 495, 255}, 23, Look::LampCaptionBare},

    // Send area.
    {"Label1", Kind::Label, "Stringa da inviare", {360, 1800, 2295, 495}, 1, Look::Heading},
    {"Label16", Kind::Label, "Pausa tra caratteri", {2400, 1800, 1335, 255}, 35, Look::YellowOnBlack},
    {"Check3", Kind::Check, "", {3720, 1800, 255, 255}, 36, Look::CheckOnBlack, nullptr, msg::PauseName},
    {"Text3", Kind::PauseField, "100", {3960, 1800, 495, 255}, 34, Look::PauseField, nullptr, msg::PauseName},
    {"Label17", Kind::Label, "msec", {4560, 1800, 495, 255}, 37, Look::YellowOnBlack},
    {"Text1",
     Kind::SendBox,
     "Digita qui la stringa da inviare e premi invia",
     {360, 2040, 4455, 615},
     0,
     Look::SendBox,
     nullptr,
     msg::SendBoxName},
    {"Command6", Kind::Button, "Clr", {4920, 2400, 375, 255}, 14, Look::Button, nullptr, msg::ClearSendName},

    // Receive area.
    {"Label3", Kind::Label, "Stringa ricevuta", {360, 2640, 1815, 495}, 6, Look::Heading},
    {"Text2",
     Kind::ReceiveBox,
     "Premere il pulsante \"Ricevi\" per attivare la ricezione\r\n",
     {360, 3000, 4455, 615},
     5,
     Look::ReceiveBox,
     nullptr,
     msg::ReceiveBoxName},
    {"Command5", Kind::Button, "Clr", {4920, 3360, 375, 255}, 13, Look::Button, nullptr, msg::ClearReceiveName},
    {"Option1(0)", Kind::Option, "Asci", {360, 3600, 1215, 255}, 31, Look::ChosenOption},
    {"Option1(1)", Kind::Option, "Hex", {1560, 3600, 1215, 255}, 32, Look::WhiteOnBlack},
    {"Option1(2)", Kind::Option, "Dec", {2760, 3600, 2055, 255}, 33, Look::WhiteOnBlack},

    // Command buttons.
    {"Command3", Kind::Button, "Invia ASCI", {360, 3960, 1095, 255}, 7, Look::BoldButton},
    {"Command1", Kind::Button, "Invia loop", {1560, 3960, 1095, 255}, 2, Look::BoldButton},
    {"Command4", Kind::Button, "Exit", {3960, 3960, 615, 375}, 12, Look::BoldButton},
    {"Command7", Kind::Button, "?", {4680, 3960, 375, 375}, 26, Look::BigBoldButton},
    {"Command8", Kind::Button, "Invia Dec.", {360, 4200, 1095, 255}, 29, Look::BoldButton},
    {"Command9", Kind::Button, "Invia HEX", {1560, 4200, 1095, 255}, 30, Look::BoldButton},
};

// The row of the table that declares the control called name; a name not in
// the table is a compile-time error where the call is a constant expression.
constexpr const ControlRow &controlRow(std::string_view name)
{
    for (const ControlRow &row : Form1Controls)
        if (name == row.name)
            return row;
    throw "no such control in Form1Controls";
}

// The widget class each kind of control is made of.
template <Kind>
struct ControlClassOf;
template <>
struct ControlClassOf<Kind::Outline>
{
    using type = Outline;
};
template <>
struct ControlClassOf<Kind::Label>
{
    using type = QLabel;
};
template <>
struct ControlClassOf<Kind::Combo>
{
    using type = QComboBox;
};
template <>
struct ControlClassOf<Kind::Check>
{
    using type = QCheckBox;
};
template <>
struct ControlClassOf<Kind::Lamp>
{
    using type = QLabel;
};
template <>
struct ControlClassOf<Kind::PauseField>
{
    using type = QLineEdit;
};
template <>
struct ControlClassOf<Kind::SendBox>
{
    using type = QPlainTextEdit;
};
template <>
struct ControlClassOf<Kind::ReceiveBox>
{
    using type = ReceiveView;
};
template <>
struct ControlClassOf<Kind::Option>
{
    using type = QRadioButton;
};
template <>
struct ControlClassOf<Kind::Button>
{
    using type = QPushButton;
};

template <Kind K>
using ControlClass = typename ControlClassOf<K>::type;

// The class of the control called Name, from its row of the table.
#define CORVANEL_CONTROL_CLASS(Name) ::corvanel::ControlClass<::corvanel::controlRow(#Name).kind>

// The controls the program and its tests reach by a name of their own
// (Form1's members, the tests' Controls): the table's rows less the option
// buttons, which go by Option1[index]. X(Name) is applied to each.
// One kind of control a line.
// clang-format off
#define CORVANEL_NAMED_CONTROLS(X)                                                                                     \
    X(Shape1) X(Shape2) X(Shape3) X(Shape4)                                                                            \
    X(Label1) X(Label2) X(Label3) X(Label4) X(Label5) X(Label6) X(Label7) X(Label8) X(Label9) X(Label10) X(Label11)    \
    X(Label12) X(Label13) X(Label14) X(Label15) X(Label16) X(Label17)                                                  \
    X(Combo1) X(Combo2) X(Combo3) X(Combo4)                                                                            \
    X(Check1) X(Check2) X(Check3)                                                                                      \
    X(Image1) X(Image2) X(Image3) X(Image4) X(Image5) X(Image6) X(Image7) X(Image8) X(Image9) X(Image10)               \
    X(Text1) X(Text2) X(Text3)                                                                                         \
    X(Command1) X(Command3) X(Command4) X(Command5) X(Command6) X(Command7) X(Command8) X(Command9)
// clang-format on

// The option buttons' names, by index.
inline constexpr const char *Option1Names[] = {"Option1(0)", "Option1(1)", "Option1(2)"};

} // namespace corvanel
