// The per-user profile: maker key, application name, section, entry, as the
// converter has always kept its settings. On Windows this is the registry
// (HKEY_CURRENT_USER\Software\KORU\<application>\<section>, ProfileStoreWin32.cpp),
// elsewhere Qt's native settings file ($XDG_CONFIG_HOME/KORU/<application>.conf,
// ProfileStoreQt.cpp).
#pragma once

#include <memory>
#include <string>

#ifdef _WIN32
// <windows.h> makes these names macros for the old INI-file functions.
#undef GetProfileString
#undef GetProfileInt
#undef WriteProfileString
#endif

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

    // Where the profile lives, for messages (Windows: the registry key).
    std::string FileName() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The application name the profile is kept under: the executable's base name.
std::string ApplicationNameFromArgv0(const char* argv0);

}  // namespace tidewell
