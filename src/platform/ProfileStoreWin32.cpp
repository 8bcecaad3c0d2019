// The profile in the registry, where the converter has always kept it:
// HKEY_CURRENT_USER\Software\<maker>\<application>\<section>, texts as REG_SZ
// and numbers as REG_DWORD. The ANSI registry functions take and give the
// bytes of the system's code page, exactly the bytes the user typed.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/ProfileStore.h"

namespace tidewell {

struct ProfileStore::Impl {
    std::string key;  // below HKEY_CURRENT_USER, without the section
};

namespace {

// Expandable strings are taken as they stand, as the framework took them.
constexpr DWORD kStringTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;

std::string SectionKey(const std::string& key, const std::string& section) {
    return key + "\\" + section;
}

// A number stored as text (a hand-made entry): taken when it is a whole
// decimal number and nothing else.
bool ParseNumber(const std::string& text, int* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || n < INT_MIN || n > INT_MAX) return false;
    *value = static_cast<int>(n);
    return true;
}

bool ReadString(const std::string& key, const std::string& entry, std::string* value) {
    // The size may change between the two calls if someone writes meanwhile.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        LONG rc = RegGetValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), kStringTypes, nullptr,
                               nullptr, &size);
        if (rc != ERROR_SUCCESS) return false;
        std::vector<char> buf(size + 1);
        rc = RegGetValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), kStringTypes, nullptr,
                          buf.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return false;
        buf[size < buf.size() ? size : buf.size() - 1] = '\0';
        *value = buf.data();
        return true;
    }
    return false;
}

}  // namespace

ProfileStore::ProfileStore(const std::string& registryKey, const std::string& applicationName)
    : impl_(std::make_unique<Impl>(Impl{"Software\\" + registryKey + "\\" + applicationName})) {}

ProfileStore::~ProfileStore() = default;

std::string ProfileStore::GetProfileString(const std::string& section, const std::string& entry,
                                           const std::string& defaultValue) const {
    std::string value;
    return ReadString(SectionKey(impl_->key, section), entry, &value) ? value : defaultValue;
}

// Stored as a 32-bit number and read back signed, so a stored -7 is -7.
int ProfileStore::GetProfileInt(const std::string& section, const std::string& entry,
                                int defaultValue) const {
    const std::string key = SectionKey(impl_->key, section);
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &value, &size) == ERROR_SUCCESS) {
        return static_cast<int>(static_cast<int32_t>(value));
    }
    std::string text;
    int number = 0;
    if (ReadString(key, entry, &text) && ParseNumber(text, &number)) return number;
    return defaultValue;
}

bool ProfileStore::WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value) {
    const std::string key = SectionKey(impl_->key, section);
    // The terminating zero is part of a REG_SZ value.
    return RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                   int value) {
    const std::string key = SectionKey(impl_->key, section);
    const DWORD stored = static_cast<DWORD>(value);
    return RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), REG_DWORD, &stored,
                           sizeof stored) == ERROR_SUCCESS;
}

std::string ProfileStore::FileName() const {
    return "HKEY_CURRENT_USER\\" + impl_->key;
}

}  // namespace tidewell
