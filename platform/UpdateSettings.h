#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class UserDefaults;

// What the updater remembers about one host bundle in the user defaults: when it last
// checked, whether it checks on its own, and the version the user chose to skip.
class UpdateSettings
{
public:
    UpdateSettings(UserDefaults& defaults, QString hostBundleIdentifier);

    std::optional<QDateTime> lastCheckTime() const;
    void setLastCheckTime(const QDateTime& time);

    // Nothing while the user has not decided.
    std::optional<bool> automaticallyChecks() const;
    void setAutomaticallyChecks(bool automaticallyChecks);

    QString skippedVersion() const;
    void setSkippedVersion(const QString& version);

private:
    QString key(const char* name) const;

    UserDefaults& m_defaults;
    QString m_hostIdentifier;
};
