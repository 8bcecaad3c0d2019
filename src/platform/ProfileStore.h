// The per-user profile: maker key, application name, section, entry, as the
// converter has always kept its settings. On Windows this is the registry
// (Software\KORU\<application>\<section>), elsewhere Qt's native settings file
// ($XDG_CONFIG_HOME/KORU/<application>.conf).
#pragma once

#include <memory>
#include <string>

class QSettings;

namespace tidewell {

class ProfileStore {
  public:
    ProfileStore(const std::string& registryKey, const std::string& applicationName);
    ~ProfileStore();

    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const;
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) const;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);

    std::string FileName() const;

  private:
    std::unique_ptr<QSettings> settings_;
};

// The application name the profile is kept under: the executable's base name.
std::string ApplicationNameFromArgv0(const char* argv0);

}  // namespace tidewell
