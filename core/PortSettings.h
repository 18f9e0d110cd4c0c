#pragma once

#include <QString>
#include <optional>
#include <variant>

namespace corvanel {

// A loosely typed setting: a number or a text. Joined into text, a number is
// written in decimal without spaces or sign, a text stands unchanged.
using LooseValue = std::variant<double, QString>;

QString joinLoose(const LooseValue &value);

// "baud,parity,data,1": the string the port is configured with.
QString settingsString(const LooseValue &baudRate, const QString &parity, const LooseValue &dataBits);

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool operator==(const LineSettings &o) const
    {
        return baudRate == o.baudRate && parity == o.parity && dataBits == o.dataBits
            && stopBits == o.stopBits;
    }
};

// Parses "baud,parity,data,stop": a positive whole baud rate, parity N, E, O,
// M or S in either case, data bits 5 to 8, stop bits 1, 1.5 or 2. Blanks
// around a field are allowed. Empty for anything else.
std::optional<LineSettings> parseSettings(const QString &text);

// Compares the frame a driver reports (termios c_cflag) with the one asked
// for. Returns an empty text when they agree, otherwise what differs.
QString frameMismatch(unsigned long cflag, const LineSettings &wanted);

} // namespace corvanel
