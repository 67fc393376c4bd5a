#pragma once

#include "platform/Appcast.h"
#include "platform/UpdateError.h"

#include <QString>

#include <optional>

class SoftwareUpdater;

// What the updater asks of and tells its owner. Every call comes on the main thread.
class SoftwareUpdaterDelegate
{
public:
    virtual ~SoftwareUpdaterDelegate() = default;

    // The feed's address; an empty text falls back to SUFeedURL of the host bundle.
    virtual QString feedURLStringForUpdater(SoftwareUpdater& updater) = 0;
    // The item to offer; nothing means no update. The updater still offers it only when it
    // is newer than the host bundle's CFBundleVersion.
    virtual std::optional<AppcastItem> bestValidUpdateInAppcast(const Appcast& appcast, SoftwareUpdater& updater) = 0;
    // A check or installation ended without installing; code NoUpdateError (1001) when the
    // check found nothing newer.
    virtual void didAbortWithError(SoftwareUpdater& updater, const UpdateError& error) = 0;
    virtual void didFindValidUpdate(SoftwareUpdater& updater, const AppcastItem& item) = 0;
    virtual void updaterDidNotFindUpdate(SoftwareUpdater& updater) = 0;
    // The new version is in place; the program is about to be started again and this
    // process ends right after this call returns.
    virtual void updaterWillRelaunchApplication(SoftwareUpdater& updater) = 0;
};
