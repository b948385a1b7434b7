#include "link/port_discovery.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {
QMutex gExtraLock;
QStringList gExtraPorts;  // guarded by gExtraLock
QSet<QString> gReported;  // skipped entries already named on stderr; guarded by gExtraLock

// Why an extra port cannot be listed, or empty when it is a character device (links followed).
QString ExtraPortProblem(const QString& path) {
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("it does not exist")
                               : QStringLiteral("it cannot be examined");
    if (S_ISDIR(st.st_mode)) return QStringLiteral("it is a directory");
    if (!S_ISCHR(st.st_mode)) return QStringLiteral("it is not a character device");
    return {};
}

// Names a skipped entry on stderr, once per entry and reason for the life of the process.
void ReportSkipped(const QString& path, const QString& why) {
    {
        QMutexLocker lock(&gExtraLock);
        if (gReported.contains(path + u'\n' + why)) return;
        gReported.insert(path + u'\n' + why);
    }
    const QString program =
        QCoreApplication::instance() ? QCoreApplication::applicationName() : QString();
    const QString line = (program.isEmpty() ? QString() : program + ": ") + "extra port " + path +
                         " skipped: " + why + "\n";
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Index just past the run of digits (or of non-digits) starting at i.
qsizetype RunEnd(const QString& s, qsizetype i) {
    const bool digits = IsDigit(s[i]);
    while (i < s.size() && IsDigit(s[i]) == digits)
        ++i;
    return i;
}

// Compares two digit runs as numbers of any length: leading zeros ignored, then the longer run
// is larger, then digit by digit.
int CompareNumbers(QStringView a, QStringView b) {
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

QString Bracketed(const QString& text, const QString& name) {
    return text.isEmpty() ? name : text + QStringLiteral(" (") + name + u')';
}
}  // namespace

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const qsizetype ie = RunEnd(a, i), je = RunEnd(b, j);
        const QStringView ra = QStringView(a).mid(i, ie - i);
        const QStringView rb = QStringView(b).mid(j, je - j);
        const bool na = IsDigit(a[i]), nb = IsDigit(b[j]);
        int c;
        if (na && nb)
            c = CompareNumbers(ra, rb);
        else if (na != nb)
            c = na ? -1 : 1;  // numbers before text, as in "1" < "a"
        else
            c = ra.compare(rb);
        if (c != 0) return c < 0;
        i = ie;
        j = je;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // equal by the rules above ("ttyS01" and "ttyS1"): keep a total order
}

// Hardware rules, from what udev and sysfs tell about the tty:
// - Bluetooth rfcomm ports are virtual devices but real ports: always listed.
// - Other virtual ttys (consoles, ptys) have no device behind them: never listed.
// - A tty whose parent device has no driver bound is left out.
// - Serial-core ports report their UART type; the 8250 driver registers ports for every legacy
//   address whether a UART answers there or not, and those report type 0 (whether the parent is
//   the 8250 platform device or, since Linux 6.5, a "serial-base" port device).
bool HasHardware(const TTtyDevice& dev) {
    if (dev.KernelName.startsWith(QStringLiteral("rfcomm"))) return true;
    if (dev.DevPath.startsWith(QStringLiteral("/devices/virtual/"))) return false;
    if (dev.ParentSubsystem.isEmpty() || dev.ParentDriver.isEmpty()) return false;
    if (dev.ParentDriver == QStringLiteral("serial8250") && dev.UartType.isEmpty()) return false;
    if (dev.UartType == QStringLiteral("0")) return false;
    return true;
}

QString FriendlyPortName(const TTtyDevice& dev) {
    const QString& name = dev.KernelName;
    QString vendor = dev.Vendor.trimmed();
    QString model = dev.Model.trimmed();
    QString text;
    if (!model.isEmpty()) {
        // Names without a database entry come from the USB descriptor with '_' for blanks.
        vendor.replace(u'_', u' ');
        model.replace(u'_', u' ');
        text = (vendor.isEmpty() || model.startsWith(vendor, Qt::CaseInsensitive))
                   ? model
                   : vendor + u' ' + model;
    } else if (name.startsWith(QStringLiteral("rfcomm"))) {
        text = QStringLiteral("Bluetooth serial port");
    } else if (name.startsWith(QStringLiteral("ttyACM"))) {
        text = QStringLiteral("USB communications port");
    } else if (name.startsWith(QStringLiteral("ttyUSB"))) {
        text = QStringLiteral("USB serial port");
    } else {
        text = QStringLiteral("Serial port");
    }
    return Bracketed(text, name);
}

QString PortDevicePath(const QString& shortName) {
    if (shortName.contains(u'/')) return shortName;
    return QStringLiteral("/dev/") + shortName;
}

void AddExtraPort(const QString& path) {
    if (path.isEmpty()) return;
    QMutexLocker lock(&gExtraLock);
    if (!gExtraPorts.contains(path)) gExtraPorts.append(path);
}

void RemoveExtraPort(const QString& path) {
    QMutexLocker lock(&gExtraLock);
    gExtraPorts.removeAll(path);
}

void ClearExtraPorts() {
    QMutexLocker lock(&gExtraLock);
    gExtraPorts.clear();
}

QStringList ExtraPorts() {
    QStringList all;
    {
        QMutexLocker lock(&gExtraLock);
        all = gExtraPorts;
    }
    const QString env = qEnvironmentVariable("BENCHLORD_EXTRA_PORTS");
    for (const QString& p : env.split(u':', Qt::SkipEmptyParts))
        if (!all.contains(p)) all.append(p);
    return all;
}

void SetupEnumAvailableComPorts(TSerialPortList& list) {
    SetupEnumAvailableComPorts(list, UdevTtySource());
}

void SetupEnumAvailableComPorts(TSerialPortList& list, TTtyDeviceSource& source) {
    list.clear();
    list.push_back({QStringLiteral("TCP"), QStringLiteral("TCP")});

    TSerialPortList found;
    for (const TTtyDevice& dev : source.TtyDevices())
        if (!dev.KernelName.isEmpty() && HasHardware(dev))
            found.push_back({FriendlyPortName(dev), dev.KernelName});
    std::sort(found.begin(), found.end(), [](const TSerialPort& a, const TSerialPort& b) {
        return NaturalLess(a.ShortName, b.ShortName);
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const TSerialPort& a, const TSerialPort& b) {
                                return a.ShortName == b.ShortName;
                            }),
                found.end());
    list.insert(list.end(), found.begin(), found.end());

    // Extra ports keep the order they were named in; a path naming a listed port ("/dev/ttyUSB0")
    // is not listed twice.
    for (const QString& path : ExtraPorts()) {
        // Only character devices are ports: a file or a directory named by mistake is skipped.
        if (const QString why = ExtraPortProblem(path); !why.isEmpty()) {
            ReportSkipped(path, why);
            continue;
        }
        const QString canonical = QFileInfo(path).canonicalFilePath();
        const bool listed = std::any_of(list.begin(), list.end(), [&](const TSerialPort& p) {
            return p.ShortName == path ||
                   (p.ShortName != QStringLiteral("TCP") &&
                    QFileInfo(PortDevicePath(p.ShortName)).canonicalFilePath() == canonical);
        });
        if (!listed) list.push_back({Bracketed(QStringLiteral("Extra port"), path), path});
    }
}
