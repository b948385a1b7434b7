#include "session/settings_store.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace {
const QString kBaudGroup = QStringLiteral("BAUDES");
const QString kDeviceGroup = QStringLiteral("DEVICES");

// QSettings treats '/' and '\' in a key as group separators. Port names given as paths
// ("/dev/pts/5") are stored with those two characters and '%' percent-encoded; ordinary kernel
// names ("ttyUSB0") are stored unchanged.
QString PortKey(const QString& group, const QString& port) {
    QString key;
    key.reserve(port.size());
    for (QChar c : port) {
        if (c == u'%')
            key += QStringLiteral("%25");
        else if (c == u'/')
            key += QStringLiteral("%2F");
        else if (c == u'\\')
            key += QStringLiteral("%5C");
        else
            key += c;
    }
    return group + u'/' + key;
}

// Integers are 32-bit registry integers; a value written as unsigned (a CRC-32 above 2^31) reads
// back as the same 32 bits.
std::optional<int32_t> ToInt32(const QVariant& v) {
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > static_cast<qlonglong>(UINT32_MAX)) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(n));
}

// One access: open the file, run `use` on it, close it (flushing any write). Write failures are
// left in QSettings::status() and ignored.
template <typename F>
auto WithSettings(const QString& path, F&& use) {
    QSettings s(path, QSettings::IniFormat);
    return use(s);
}
}  // namespace

QString TSettingsStore::PathUnder(const QString& configHome) {
    return QDir(configHome).filePath(QStringLiteral("tarnwell/DPS.ini"));
}

QString TSettingsStore::FilePath() const {
    if (!fPath.isEmpty()) return fPath;
    // QStandardPaths reads XDG_CONFIG_HOME on every call (falling back to ~/.config).
    return PathUnder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

bool TSettingsStore::ValueExists(const QString& name) const {
    return WithSettings(FilePath(), [&](QSettings& s) { return s.contains(name); });
}

int32_t TSettingsStore::ReadInteger(const QString& name) const {
    return ReadIntegerOr(name, 0);
}

int32_t TSettingsStore::ReadIntegerOr(const QString& name, int32_t absent) const {
    return WithSettings(FilePath(), [&](QSettings& s) {
        const QVariant v = s.value(name);
        if (!v.isValid()) return absent;
        // A value that exists but is not an integer reads as 0, like a registry value of the
        // wrong type.
        return ToInt32(v).value_or(0);
    });
}

void TSettingsStore::WriteInteger(const QString& name, int32_t value) const {
    WithSettings(FilePath(), [&](QSettings& s) { s.setValue(name, value); });
}

bool TSettingsStore::WriteIntegerChecked(const QString& name, int32_t value) const {
    return WithSettings(FilePath(), [&](QSettings& s) {
        s.setValue(name, value);
        s.sync();
        return s.status() == QSettings::NoError;
    });
}

QString TSettingsStore::ReadString(const QString& name) const {
    return WithSettings(FilePath(), [&](QSettings& s) { return s.value(name).toString(); });
}

void TSettingsStore::WriteString(const QString& name, const QString& text) const {
    WithSettings(FilePath(), [&](QSettings& s) { s.setValue(name, text); });
}

int32_t TSettingsStore::ReadBaud(const QString& port) const {
    return WithSettings(FilePath(), [&](QSettings& s) {
        const QVariant v = s.value(PortKey(kBaudGroup, port));
        if (!v.isValid()) return settings::kNoBaud;
        return ToInt32(v).value_or(settings::kNoBaud);
    });
}

void TSettingsStore::WriteBaud(const QString& port, int32_t index) const {
    if (index < 0 || port.isEmpty()) return;
    WithSettings(FilePath(), [&](QSettings& s) { s.setValue(PortKey(kBaudGroup, port), index); });
}

std::optional<int32_t> TSettingsStore::ApplicableBaud(const QString& port, int32_t count) const {
    const int32_t index = ReadBaud(port);
    if (index > 0 && index < count) return index;
    return std::nullopt;
}

QString TSettingsStore::ReadDevice(const QString& port) const {
    return WithSettings(
        FilePath(), [&](QSettings& s) { return s.value(PortKey(kDeviceGroup, port)).toString(); });
}

void TSettingsStore::WriteDevice(const QString& port, const QString& text) const {
    if (port.isEmpty()) return;
    WithSettings(FilePath(), [&](QSettings& s) { s.setValue(PortKey(kDeviceGroup, port), text); });
}
