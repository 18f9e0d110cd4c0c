// The machine's own serial devices.

#include "SystemPorts.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <sys/stat.h>

namespace corvanel {
namespace {

bool isCharacterDevice(const QString &path, PortOs &os)
{
    struct stat st
    {};
    // stat follows links, so a link to a character device counts too.
    return os.fileStatus(QFile::encodeName(path), &st).ok() && S_ISCHR(st.st_mode);
}

} // namespace

QStringList usbSerialEntries(const QString &directory, PortOs &os)
{
    QStringList devices;
    const QDir dir(directory);
    const QStringList names = dir.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                            QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        if (isCharacterDevice(path, os))
            devices << path;
    }
    return devices;
}

QStringList systemPorts()
{
    QStringList devices;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        devices << info.systemLocation();
    return devices + usbSerialEntries(QStringLiteral("/dev"));
}

} // namespace corvanel
