#pragma once

#include "platform/Bundle.h"

#include <QString>

#include <optional>

// What the extension reads from its own bundle's Info.plist.
namespace ExtensionInfo {

// NetworkExtension > NEMachServiceName; nullopt when the dictionary or the text is missing.
std::optional<QString> machServiceName(const Bundle& bundle);
// <runtime directory>/<bundle identifier>.control
QString controlSocketPath(const Bundle& bundle);
// CFBundleShortVersionString, "" when absent.
QString version(const Bundle& bundle);

} // namespace ExtensionInfo
