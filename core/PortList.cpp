#include "PortList.h"
#include "Messages.h"

#include <algorithm>
#include <tuple>

namespace corvanel {
namespace {

struct SortKey
{
    int family;
    QString prefix;
    qint64 number;
    QString name;
    bool operator<(const SortKey &o) const
    {
        return std::tie(family, prefix, number, name) < std::tie(o.family, o.prefix, o.number, o.name);
    }
};

SortKey keyOf(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    qsizetype digitsAt = name.size();
    while (digitsAt > 0 && name.at(digitsAt - 1).isDigit())
        --digitsAt;
    const QString prefix = name.left(digitsAt);
    bool ok = false;
    qint64 number = name.mid(digitsAt).toLongLong(&ok);
    if (!ok)
        number = -1;
    static const QString families[] = {QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")};
    for (int f = 0; f < 3; ++f) {
        if (prefix == families[f] && ok)
            return {f, prefix, number, path};
    }
    return {3, prefix, number, path};
}

} // namespace

QStringList orderPorts(const QStringList &devices)
{
    std::vector<SortKey> keys;
    for (const QString &d : devices) {
        if (d.isEmpty())
            continue;
        keys.push_back(keyOf(d));
    }
    std::sort(keys.begin(), keys.end());
    QStringList out;
    for (const SortKey &k : keys) {
        if (out.isEmpty() || out.last() != k.name)
            out << k.name;
    }
    // Equal paths always sort next to each other, so the check above removes
    // every duplicate.
    return out;
}

QString portListTooltip(const QStringList &orderedDevices)
{
    if (orderedDevices.isEmpty())
        return msg::text(msg::NoSerialPort);
    QStringList lines;
    for (qsizetype i = 0; i < orderedDevices.size(); ++i)
        lines << QStringLiteral("%1 = %2").arg(i + 1).arg(orderedDevices.at(i));
    return lines.join(u'\n');
}

} // namespace corvanel
