// The per-user profile: maker key, application name, section, entry, as the
// converter has always kept its settings. On Windows this is the registry
// (HKEY_CURRENT_USER\Software\KORU\<application>\<section>,
// ProfileStoreWin32.cpp); elsewhere a text file,
// $XDG_CONFIG_HOME/KORU/<application>.conf, of "[section]" headers and
// "entry=value" lines (ProfileStorePosix.cpp describes its form). Values are
// bytes, kept as the user gave them. Nothing is read until an entry is asked
// for.
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
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // Why the profile exists but could not be read; empty when it was read or
    // does not exist at all. While it is set every entry reads as its default.
    std::string ReadError() const;

    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const;
    // The default also when the stored value is not a whole number.
    int GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) const;

    // False when the value was not stored; WriteError() then says why.
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);
    const std::string& WriteError() const;

    // Where the profile lives, for messages (Windows: the registry key).
    std::string FileName() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The application name the profile is kept under: the executable's base name.
std::string ApplicationNameFromArgv0(const char* argv0);

}  // namespace tidewell
