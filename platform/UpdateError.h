#pragma once

#include <QString>

// Why an update check or installation stopped. The codes are the update framework's own, so
// that callers can tell "no update" (1001) from real failures.
class UpdateError
{
public:
    enum Code : int {
        // Configuration
        NoPublicKeyError = 4,
        InvalidFeedURLError = 5,
        InvalidHostBundleError = 7,
        // Appcast
        AppcastParseError = 1000,
        NoUpdateError = 1001,
        AppcastError = 1002,
        RunningFromDiskImageError = 1003,
        ResumeAppcastError = 1004,
        RunningTranslocated = 1005,
        WebKitTerminationError = 1006,
        ReleaseNotesError = 1007,
        // Download
        TemporaryDirectoryError = 2000,
        DownloadError = 2001,
        // Extraction
        UnarchivingError = 3000,
        SignatureError = 3001,
        ValidationError = 3002,
        // Installation
        FileCopyFailure = 4000,
        AuthenticationFailure = 4001,
        MissingUpdateError = 4002,
        MissingInstallerToolError = 4003,
        RelaunchError = 4004,
        InstallationError = 4005,
        DowngradeError = 4006,
        InstallationCanceledError = 4007,
        InstallationAuthorizeLaterError = 4008,
        NotValidUpdateError = 4009,
        AgentInvalidationError = 4010,
        InstallationRootInteractiveError = 4011,
        InstallationWriteNoPermissionError = 4012,
        // Session
        InvalidUpdaterError = 6000,
        InvalidUserDriverError = 6001,
        UpdateCancelledError = 6002,
    };

    UpdateError() = default;
    UpdateError(int code, QString description) : code(code), description(std::move(description)) {}

    static UpdateError noUpdate(const QString& installedVersion);

    int code = 0;
    QString description;

    bool operator==(const UpdateError& other) const = default;
};
