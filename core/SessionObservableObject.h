#pragma once

#include "core/MainViewTabs.h"
#include "core/TimeRestrictionModel.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <limits>
#include <optional>
#include <utility>

// The session state the window's pages and the application delegate share. Every field
// is a property with a change signal that fires on each write (also of an unchanged
// value), the way the pages expect to be told to redraw. Write on the main thread only.
class SessionObservableObject : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn WRITE setIsLoggedIn NOTIFY isLoggedInChanged)
    Q_PROPERTY(std::optional<MainViewTabs> selectedMainPage READ selectedMainPage WRITE setSelectedMainPage
                   NOTIFY selectedMainPageChanged)
    Q_PROPERTY(std::optional<MainViewTabs> selectedSideBarTab READ selectedSideBarTab WRITE
                   setSelectedSideBarTab NOTIFY selectedSideBarTabChanged)
    Q_PROPERTY(SessionObservableObject::SyncStatus syncStatus READ syncStatus WRITE setSyncStatus NOTIFY
                   syncStatusChanged)
    Q_PROPERTY(QString lastSyncTimeString READ lastSyncTimeString WRITE setLastSyncTimeString NOTIFY
                   lastSyncTimeStringChanged)
    Q_PROPERTY(TimeRestrictionMap timeRestrictions READ timeRestrictions WRITE setTimeRestrictions NOTIFY
                   timeRestrictionsChanged)
    Q_PROPERTY(qint64 bypassDuration READ bypassDuration WRITE setBypassDuration NOTIFY bypassDurationChanged)
    Q_PROPERTY(qint64 bypassesPermitted READ bypassesPermitted WRITE setBypassesPermitted NOTIFY
                   bypassesPermittedChanged)
    Q_PROPERTY(bool bypassEnabled READ bypassEnabled WRITE setBypassEnabled NOTIFY bypassEnabledChanged)
    Q_PROPERTY(QString lastUpdateTimeString READ lastUpdateTimeString WRITE setLastUpdateTimeString NOTIFY
                   lastUpdateTimeStringChanged)
    Q_PROPERTY(bool shouldRequestReboot READ shouldRequestReboot WRITE setShouldRequestReboot NOTIFY
                   shouldRequestRebootChanged)
    Q_PROPERTY(SessionObservableObject::UpdateStatus updateStatus READ updateStatus WRITE setUpdateStatus
                   NOTIFY updateStatusChanged)
    Q_PROPERTY(bool isConnectedToInternet READ isConnectedToInternet WRITE setIsConnectedToInternet NOTIFY
                   isConnectedToInternetChanged)
    Q_PROPERTY(QList<SessionObservableObject::BlockedUrl> blockedUrls READ blockedUrls WRITE setBlockedUrls
                   NOTIFY blockedUrlsChanged)
    Q_PROPERTY(
        QStringList myBlockedSites READ myBlockedSites WRITE setMyBlockedSites NOTIFY myBlockedSitesChanged)

public:
    // One blocked request reported by the filter; each record gets its own id.
    struct BlockedUrl
    {
        BlockedUrl() = default;
        BlockedUrl(QDateTime dateTime, QString url, QString category, QString textTrigger)
            : dateTime(std::move(dateTime)), url(std::move(url)), category(std::move(category)),
              textTrigger(std::move(textTrigger))
        {
        }

        QUuid id = QUuid::createUuid();
        QDateTime dateTime;
        QString url;
        QString category;
        QString textTrigger; // may be empty

        bool operator==(const BlockedUrl&) const = default;
    };

    enum class SyncStatus
    {
        success,
        error,
        inProgress,
    };
    Q_ENUM(SyncStatus)

    enum class UpdateStatus
    {
        noUpdate,
        hasUpdate,
        error,
        inProgress,
    };
    Q_ENUM(UpdateStatus)

    explicit SessionObservableObject(QObject* parent = nullptr);

    // Copies the session store's values into isLoggedIn, lastSyncTimeString, syncStatus,
    // timeRestrictions, bypassDuration, bypassesPermitted, bypassEnabled and
    // myBlockedSites, in that order; the other fields keep their values.
    void refreshFromSessionData();

    bool isLoggedIn() const { return m_isLoggedIn; }
    std::optional<MainViewTabs> selectedMainPage() const { return m_selectedMainPage; }
    std::optional<MainViewTabs> selectedSideBarTab() const { return m_selectedSideBarTab; }
    SyncStatus syncStatus() const { return m_syncStatus; }
    QString lastSyncTimeString() const { return m_lastSyncTimeString; }
    TimeRestrictionMap timeRestrictions() const { return m_timeRestrictions; }
    qint64 bypassDuration() const { return m_bypassDuration; }
    qint64 bypassesPermitted() const { return m_bypassesPermitted; }
    bool bypassEnabled() const { return m_bypassEnabled; }
    QString lastUpdateTimeString() const { return m_lastUpdateTimeString; }
    bool shouldRequestReboot() const { return m_shouldRequestReboot; }
    UpdateStatus updateStatus() const { return m_updateStatus; }
    bool isConnectedToInternet() const { return m_isConnectedToInternet; }
    QList<BlockedUrl> blockedUrls() const { return m_blockedUrls; }
    QStringList myBlockedSites() const { return m_myBlockedSites; }

    void setIsLoggedIn(bool value);
    void setSelectedMainPage(std::optional<MainViewTabs> value);
    void setSelectedSideBarTab(std::optional<MainViewTabs> value);
    void setSyncStatus(SessionObservableObject::SyncStatus value);
    void setLastSyncTimeString(const QString& value);
    void setTimeRestrictions(const TimeRestrictionMap& value);
    void setBypassDuration(qint64 value);
    void setBypassesPermitted(qint64 value);
    void setBypassEnabled(bool value);
    void setLastUpdateTimeString(const QString& value);
    void setShouldRequestReboot(bool value);
    void setUpdateStatus(SessionObservableObject::UpdateStatus value);
    void setIsConnectedToInternet(bool value);
    void setBlockedUrls(const QList<SessionObservableObject::BlockedUrl>& value);
    void setMyBlockedSites(const QStringList& value);

signals:
    void isLoggedInChanged(bool isLoggedIn);
    void selectedMainPageChanged(std::optional<MainViewTabs> selectedMainPage);
    void selectedSideBarTabChanged(std::optional<MainViewTabs> selectedSideBarTab);
    void syncStatusChanged(SessionObservableObject::SyncStatus syncStatus);
    void lastSyncTimeStringChanged(const QString& lastSyncTimeString);
    void timeRestrictionsChanged(const TimeRestrictionMap& timeRestrictions);
    void bypassDurationChanged(qint64 bypassDuration);
    void bypassesPermittedChanged(qint64 bypassesPermitted);
    void bypassEnabledChanged(bool bypassEnabled);
    void lastUpdateTimeStringChanged(const QString& lastUpdateTimeString);
    void shouldRequestRebootChanged(bool shouldRequestReboot);
    void updateStatusChanged(SessionObservableObject::UpdateStatus updateStatus);
    void isConnectedToInternetChanged(bool isConnectedToInternet);
    void blockedUrlsChanged(const QList<SessionObservableObject::BlockedUrl>& blockedUrls);
    void myBlockedSitesChanged(const QStringList& myBlockedSites);

private:
    bool m_isLoggedIn = false;
    std::optional<MainViewTabs> m_selectedMainPage = MainViewTabs::blockHistory;
    std::optional<MainViewTabs> m_selectedSideBarTab = MainViewTabs::blockHistory;
    SyncStatus m_syncStatus = SyncStatus::success;
    QString m_lastSyncTimeString;
    TimeRestrictionMap m_timeRestrictions;
    qint64 m_bypassDuration = 0;
    qint64 m_bypassesPermitted = 2;
    bool m_bypassEnabled = false;
    QString m_lastUpdateTimeString;
    bool m_shouldRequestReboot = false;
    UpdateStatus m_updateStatus = UpdateStatus::noUpdate;
    bool m_isConnectedToInternet = true;
    QList<BlockedUrl> m_blockedUrls;
    QStringList m_myBlockedSites;
};

Q_DECLARE_METATYPE(SessionObservableObject::BlockedUrl)
