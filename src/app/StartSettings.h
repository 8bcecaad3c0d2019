// Where each setting comes from at start (defaults, profile, switches) and how
// SaveSetup writes them back.
#pragma once

#include <string>

#include "convert/ConvertSettings.h"

namespace tidewell {

class ProfileStore;

inline constexpr char kRegistryKey[] = "KORU";

// Fills the settings the way the program starts: the profile, then the
// switches, which can only turn a setting on. Values are taken as stored. A
// profile that exists but cannot be read gives the defaults; the caller asks
// profile.ReadError() and says so.
void LoadStartSettings(const ProfileStore& profile, const std::string& commandLine,
                       ConvertSettings* s);

// Writes the five profile entries in their fixed order; the batch flag is never
// stored. False at the first write that failed (profile.WriteError() says why).
bool SaveSetup(ProfileStore& profile, const ConvertSettings& s);

}  // namespace tidewell
