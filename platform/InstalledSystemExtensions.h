#pragma once

#include "platform/SystemExtensionProperties.h"

#include <QString>

#include <optional>

// The record of activated system extensions: which version of each is installed. One JSON
// file, by default $XDG_DATA_HOME/norvane/system-extensions.json, rewritten atomically.
class InstalledSystemExtensions
{
public:
    InstalledSystemExtensions();
    explicit InstalledSystemExtensions(QString filePath);

    QString filePath() const { return m_filePath; }

    std::optional<SystemExtensionProperties> installed(const QString& identifier) const;
    bool record(const SystemExtensionProperties& properties, QString* errorText = nullptr);
    bool remove(const QString& identifier);

private:
    QString m_filePath;
};
