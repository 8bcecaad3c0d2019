#include "platform/ProfileStore.h"

#include <QByteArray>
#include <QSettings>
#include <QString>

namespace tidewell {
namespace {

// Texts are bytes in the local encoding, as the user typed them.
QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}

std::string Bytes(const QString& s) {
    const QByteArray b = s.toLocal8Bit();
    return std::string(b.constData(), size_t(b.size()));
}

QString Key(const std::string& section, const std::string& entry) {
    return Q(section) + QLatin1Char('/') + Q(entry);
}

}  // namespace

ProfileStore::ProfileStore(const std::string& registryKey, const std::string& applicationName)
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            Q(registryKey), Q(applicationName))) {}

ProfileStore::~ProfileStore() = default;

std::string ProfileStore::GetProfileString(const std::string& section, const std::string& entry,
                                           const std::string& defaultValue) const {
    const QVariant v = settings_->value(Key(section, entry));
    return v.isValid() ? Bytes(v.toString()) : defaultValue;
}

int ProfileStore::GetProfileInt(const std::string& section, const std::string& entry,
                                int defaultValue) const {
    const QVariant v = settings_->value(Key(section, entry));
    if (!v.isValid()) return defaultValue;
    bool ok = false;
    const int value = v.toInt(&ok);
    return ok ? value : defaultValue;
}

bool ProfileStore::WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value) {
    settings_->setValue(Key(section, entry), Q(value));
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                   int value) {
    settings_->setValue(Key(section, entry), value);
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

std::string ProfileStore::FileName() const {
    return Bytes(settings_->fileName());
}

std::string ApplicationNameFromArgv0(const char* argv0) {
    std::string name = argv0 ? argv0 : "";
    const auto sep = name.find_last_of("\\/");
    if (sep != std::string::npos) name = name.substr(sep + 1);
#ifdef _WIN32
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name = name.substr(0, dot);
#endif
    return name.empty() ? std::string("tidewell") : name;
}

}  // namespace tidewell
