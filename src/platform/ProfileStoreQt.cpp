// The profile as Qt's native settings file, where there is no registry.
#include <QByteArray>
#include <QSettings>
#include <QString>

#include "platform/ProfileStore.h"

namespace tidewell {

struct ProfileStore::Impl {
    Impl(const QString& key, const QString& application)
        : settings(QSettings::NativeFormat, QSettings::UserScope, key, application) {}
    QSettings settings;
};

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
    : impl_(std::make_unique<Impl>(Q(registryKey), Q(applicationName))) {}

ProfileStore::~ProfileStore() = default;

std::string ProfileStore::GetProfileString(const std::string& section, const std::string& entry,
                                           const std::string& defaultValue) const {
    const QVariant v = impl_->settings.value(Key(section, entry));
    return v.isValid() ? Bytes(v.toString()) : defaultValue;
}

int ProfileStore::GetProfileInt(const std::string& section, const std::string& entry,
                                int defaultValue) const {
    const QVariant v = impl_->settings.value(Key(section, entry));
    if (!v.isValid()) return defaultValue;
    bool ok = false;
    const int value = v.toInt(&ok);
    return ok ? value : defaultValue;
}

bool ProfileStore::WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value) {
    impl_->settings.setValue(Key(section, entry), Q(value));
    impl_->settings.sync();
    return impl_->settings.status() == QSettings::NoError;
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                   int value) {
    impl_->settings.setValue(Key(section, entry), value);
    impl_->settings.sync();
    return impl_->settings.status() == QSettings::NoError;
}

std::string ProfileStore::FileName() const {
    return Bytes(impl_->settings.fileName());
}

}  // namespace tidewell
