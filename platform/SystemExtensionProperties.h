#pragma once

#include <QString>

// What is known of one version of a system extension: its bundle's identifier, versions
// and location.
struct SystemExtensionProperties
{
    QString bundleIdentifier;
    QString bundleVersion;       // CFBundleVersion
    QString bundleShortVersion;  // CFBundleShortVersionString
    QString bundlePath;

    bool isSameVersion(const SystemExtensionProperties& other) const
    {
        return bundleVersion == other.bundleVersion && bundleShortVersion == other.bundleShortVersion;
    }
};
