#pragma once

#include <QString>
#include <optional>
#include <variant>

namespace corvanel {

// A loosely typed setting: a number or a text. Joined into text, a number is
// written in decimal without spaces or sign, a text stands unchanged.
using LooseValue = std::variant<double, QString>;

// "baud,parity,data,1": the string the port is configured with.
QString settingsString(const LooseValue &baudRate, const QString &parity, const LooseValue &dataBits);

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings
{
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool operator==(const LineSettings &o) const
    {
        return baudRate == o.baudRate && parity == o.parity && dataBits == o.dataBits && stopBits == o.stopBits;
    }
};

// Parses "baud,parity,data,stop": a positive whole baud rate, parity N, E, O,
// M or S in either case, data bits 5 to 8, stop bits 1, 1.5 or 2. Blanks
// around a field are allowed. Empty for anything else.
std::optional<LineSettings> parseSettings(const QString &text);

// Compares the frame a driver reports (termios c_cflag) with the one asked
// for. Returns an empty text when they agree, otherwise what differs.
QString frameMismatch(unsigned long cflag, const LineSettings &wanted);

// How long the port may go unread after a notification that brought
// `arrived` bytes, when reads have been coming without a pause for
// `streamingForMs`. A slow line trickles in a few bytes at a time, and reading
// each trickle wakes the program a hundred times a second; resting gathers
// them into fewer reads. Only a stream rests: a device's answer to a command
// (reads for less than a quarter of a second) is read as it comes. The rest
// is short enough that, at the line's top speed (frames of 7 bits at the
// least), no more than 1 KB can wait in the driver, whose buffer holds 4 KB
// (3 KB when parity errors are marked), and never longer than 50 ms. No rest
// after a read of 1 KB or more: the far end is sending fast, or it is a
// pseudo-terminal or USB device that ignores the baud rate.
int readRestMs(qint64 arrived, qint32 baudRate, qint64 streamingForMs);

} // namespace corvanel
