#include "core/SessionObservableObject.h"

#include "core/SessionData.h"
#include "platform/DateFormatter.h"
#include "platform/UserDefaults.h"

#include <limits>
#include <mutex>

namespace {

// Stored counts come from other programs; the difference must not overflow.
qint64 saturatingDifference(qint64 a, qint64 b)
{
    qint64 result = 0;
    if (!__builtin_sub_overflow(a, b, &result))
        return result;
    return b < 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

} // namespace

SessionObservableObject::SessionObservableObject(QObject* parent) : QObject(parent)
{
    // So that the change signals also travel through queued connections.
    static std::once_flag registered;
    std::call_once(registered, [] {
        qRegisterMetaType<std::optional<MainViewTabs>>();
        qRegisterMetaType<SessionObservableObject::SyncStatus>();
        qRegisterMetaType<SessionObservableObject::UpdateStatus>();
        qRegisterMetaType<SessionObservableObject::BlockedUrl>();
        qRegisterMetaType<QList<SessionObservableObject::BlockedUrl>>();
        qRegisterMetaType<TimeRestrictionMap>();
    });
}

void SessionObservableObject::refreshFromSessionData()
{
    // One instance for the whole refresh, even if user data replaces it meanwhile.
    const std::shared_ptr<SessionData> session = SessionData::shared();
    const ServerConfiguaration configuration = session->userConfig();

    setIsLoggedIn(!UserDefaults::standard().string(SessionData::authTokenKey).value_or(QString()).isEmpty());
    setLastSyncTimeString(DateFormatter::shortStyle(session->lastSyncTime()));
    setSyncStatus(UserDefaults::standard().boolean(SessionData::isLastSyncFailedKey).value_or(false)
                      ? SyncStatus::error
                      : SyncStatus::success);
    setTimeRestrictions(configuration.TimeRestrictions.value_or(TimeRestrictionMap()));
    setBypassDuration(configuration.BypassDuration.value_or(std::numeric_limits<qint64>::max()));
    setBypassesPermitted(
        saturatingDifference(configuration.BypassesPermitted.value_or(0), session->bypassesUsed()));
    setBypassEnabled(session->relaxedPolicyEnabledTime().has_value());
    setMyBlockedSites(configuration.SelfModeration.value_or(QStringList()));
}

void SessionObservableObject::setIsLoggedIn(bool value)
{
    m_isLoggedIn = value;
    emit isLoggedInChanged(m_isLoggedIn);
}

void SessionObservableObject::setSelectedMainPage(std::optional<MainViewTabs> value)
{
    m_selectedMainPage = value;
    emit selectedMainPageChanged(m_selectedMainPage);
}

void SessionObservableObject::setSelectedSideBarTab(std::optional<MainViewTabs> value)
{
    m_selectedSideBarTab = value;
    emit selectedSideBarTabChanged(m_selectedSideBarTab);
}

void SessionObservableObject::setSyncStatus(SyncStatus value)
{
    m_syncStatus = value;
    emit syncStatusChanged(m_syncStatus);
}

void SessionObservableObject::setLastSyncTimeString(const QString& value)
{
    m_lastSyncTimeString = value;
    emit lastSyncTimeStringChanged(m_lastSyncTimeString);
}

void SessionObservableObject::setTimeRestrictions(const TimeRestrictionMap& value)
{
    m_timeRestrictions = value;
    emit timeRestrictionsChanged(m_timeRestrictions);
}

void SessionObservableObject::setBypassDuration(qint64 value)
{
    m_bypassDuration = value;
    emit bypassDurationChanged(m_bypassDuration);
}

void SessionObservableObject::setBypassesPermitted(qint64 value)
{
    m_bypassesPermitted = value;
    emit bypassesPermittedChanged(m_bypassesPermitted);
}

void SessionObservableObject::setBypassEnabled(bool value)
{
    m_bypassEnabled = value;
    emit bypassEnabledChanged(m_bypassEnabled);
}

void SessionObservableObject::setLastUpdateTimeString(const QString& value)
{
    m_lastUpdateTimeString = value;
    emit lastUpdateTimeStringChanged(m_lastUpdateTimeString);
}

void SessionObservableObject::setShouldRequestReboot(bool value)
{
    m_shouldRequestReboot = value;
    emit shouldRequestRebootChanged(m_shouldRequestReboot);
}

void SessionObservableObject::setUpdateStatus(UpdateStatus value)
{
    m_updateStatus = value;
    emit updateStatusChanged(m_updateStatus);
}

void SessionObservableObject::setIsConnectedToInternet(bool value)
{
    m_isConnectedToInternet = value;
    emit isConnectedToInternetChanged(m_isConnectedToInternet);
}

void SessionObservableObject::setBlockedUrls(const QList<BlockedUrl>& value)
{
    m_blockedUrls = value;
    emit blockedUrlsChanged(m_blockedUrls);
}

void SessionObservableObject::setMyBlockedSites(const QStringList& value)
{
    m_myBlockedSites = value;
    emit myBlockedSitesChanged(m_myBlockedSites);
}
