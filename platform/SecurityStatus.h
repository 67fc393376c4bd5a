#pragma once

#include <QString>

#include <cstdint>

// Result codes of the keychain and trust-settings stand-ins. They carry the values the
// platform's security framework uses, so log lines that print them read the same on every
// system and a reader can look them up.
using OSStatus = std::int32_t;

namespace SecurityStatus {
inline constexpr OSStatus success = 0;
inline constexpr OSStatus unimplemented = -4;
inline constexpr OSStatus param = -50;
inline constexpr OSStatus allocate = -108;
inline constexpr OSStatus internalComponent = -2070;
inline constexpr OSStatus notAvailable = -25291;
inline constexpr OSStatus authFailed = -25293;
inline constexpr OSStatus invalidKeychain = -25295;
inline constexpr OSStatus duplicateItem = -25299;
inline constexpr OSStatus itemNotFound = -25300;
inline constexpr OSStatus interactionNotAllowed = -25308;
inline constexpr OSStatus decode = -26275;

// A short English description, for diagnostics.
QString description(OSStatus status);
} // namespace SecurityStatus
