// The profile in the registry, where the converter has always kept it:
// HKEY_CURRENT_USER\Software\<maker>\<application>\<section>, texts as REG_SZ
// and numbers as REG_DWORD. The ANSI registry functions take and give the
// bytes of the system's code page, exactly the bytes the user typed.
#include "platform/Win32Api.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ProfileStore.h"

namespace tidewell {

struct ProfileStore::Impl {
    std::string key;  // below HKEY_CURRENT_USER, without the section
    std::string writeError;
};

namespace {

std::string SystemMessage(LONG code) {
    char text[512] = "";
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s.empty() ? "error " + std::to_string(code) : s;
}

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
    : impl_(std::make_unique<Impl>(
          Impl{"Software\\" + registryKey + "\\" + applicationName, std::string()})) {}

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

// A key that is there but may not be read is not a missing one.
std::string ProfileStore::ReadError() const {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, impl_->key.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return {};
    return FileName() + ": " + SystemMessage(rc);
}

bool ProfileStore::WriteProfileString(const std::string& section, const std::string& entry,
                                      const std::string& value) {
    impl_->writeError.clear();
    // A REG_SZ value ends at its first zero byte: the rest would be lost.
    if (value.find('\0') != std::string::npos) {
        impl_->writeError = entry + ": a NUL byte cannot be kept in the profile";
        return false;
    }
    const std::string key = SectionKey(impl_->key, section);
    // The terminating zero is part of a REG_SZ value.
    const LONG rc = RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), REG_SZ,
                                    value.c_str(), static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS) impl_->writeError = FileName() + ": " + SystemMessage(rc);
    return rc == ERROR_SUCCESS;
}

bool ProfileStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                   int value) {
    impl_->writeError.clear();
    const std::string key = SectionKey(impl_->key, section);
    const DWORD stored = static_cast<DWORD>(value);
    const LONG rc = RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), entry.c_str(), REG_DWORD,
                                    &stored, sizeof stored);
    if (rc != ERROR_SUCCESS) impl_->writeError = FileName() + ": " + SystemMessage(rc);
    return rc == ERROR_SUCCESS;
}

const std::string& ProfileStore::WriteError() const {
    return impl_->writeError;
}

std::string ProfileStore::FileName() const {
    return "HKEY_CURRENT_USER\\" + impl_->key;
}

}  // namespace tidewell
