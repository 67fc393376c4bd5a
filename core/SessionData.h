#pragma once

#include "core/DecodeResult.h"
#include "core/ServerConfiguaration.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The signed-in user's session. Every value lives in UserDefaults::standard() under a
// fixed key, so all parts of the program and later launches see the same values; the
// only thing kept in memory is the decoded server configuration (cachedConfig).
// Dates are stored as short-style date texts, so they read back at the start of their
// minute. The JSON form is what the app and the filter extension exchange.
//
// Any thread may read and write. shared() is replaced while other threads read it, so it
// is handed out as a shared_ptr: keep the copy for as long as a consistent view matters.
class SessionData
{
public:
    // User-defaults keys; other parts read and clear the token and e-mail directly.
    static const QString authTokenKey;                 // "authToken"
    static const QString userEmailKey;                 // "userEmail"
    static const QString serverConfigurationKey;       // "ServerConfiguaration"
    static const QString lastUpdateTimeKey;            // "lastUpdateTime"
    static const QString lastSyncTimeKey;              // "lastSyncTime"
    static const QString isLastSyncFailedKey;          // "isLastSyncFailed"
    static const QString bypassesUsedKey;              // "bypassesUsed"
    static const QString relaxedPolicyEnabledTimeKey;  // "relaxedPolicyEnabledTime"
    static const QString lastRelaxedPolicyUsedTimeKey; // "lastRelaxedPolicyUsedTime"

    SessionData() = default;
    SessionData(const SessionData&) = delete;
    SessionData& operator=(const SessionData&) = delete;

    // The process-wide instance, created on first use.
    static std::shared_ptr<SessionData> shared();
    // Replaces it (after fresh user data has been decoded). A null pointer is ignored.
    static void setShared(std::shared_ptr<SessionData> instance);

    // The retrieve-token request of the e-mail sign-in: posts the device parameters and,
    // when the reply carries both a token and an e-mail, stores them. The completion runs
    // on the main thread with the outcome, the HTTP status (0 without a response) and
    // whether no response arrived at all.
    using RetrieveTokenCompletion = std::function<void(bool success, int statusCode, bool noResponse)>;
    static void retrieveToken(RetrieveTokenCompletion completion);

    QString authToken() const; // "" when absent
    QString userEmail() const; // "" when absent

    // The cached configuration; on first read, the stored one, or the default one when
    // nothing decodable is stored (that default is not written back).
    ServerConfiguaration userConfig() const;
    // Caches the configuration and stores its JSON.
    void setUserConfig(const ServerConfiguaration& configuration);
    // What has been cached so far (absent until the first read or assignment).
    std::optional<ServerConfiguaration> cachedConfig() const;

    // One second before the system's boot time when absent or unreadable.
    QDateTime lastUpdateTime() const;
    void setLastUpdateTime(const QDateTime& date);

    // Now when absent or unreadable.
    QDateTime lastSyncTime() const;
    bool isLastSyncFailed() const;

    // Relaxed-policy uses today: reading on a new day (or with no recorded last use)
    // stores and returns 0.
    qint64 bypassesUsed() const;

    std::optional<QDateTime> relaxedPolicyEnabledTime() const;
    // Absent removes the key; a date also becomes lastRelaxedPolicyUsedTime.
    void setRelaxedPolicyEnabledTime(const std::optional<QDateTime>& date);

    // Yesterday at 00:00 when absent, now when unreadable.
    QDateTime lastRelaxedPolicyUsedTime() const;
    void setLastRelaxedPolicyUsedTime(const QDateTime& date);

    // The eight coding keys from the present values. Reading may fill cachedConfig and
    // store the daily reset of bypassesUsed.
    QJsonObject encode() const;
    QByteArray toJson() const;

    // Builds a new instance, storing every value in the user defaults as soon as it has
    // been decoded. On a missing key or a value of the wrong type it stops there: the
    // values before stay stored, the rest keep what was stored. Never touches
    // "lastUpdateTime".
    static DecodeResult<std::shared_ptr<SessionData>> decode(const QJsonObject& object);
    static DecodeResult<std::shared_ptr<SessionData>> fromJson(const QByteArray& json);

    // Dates in the JSON form: seconds since 2001-01-01 00:00:00 UTC.
    static double referenceSeconds(const QDateTime& date);
    static std::optional<QDateTime> fromReferenceSeconds(double seconds);

    // Now minus the system's uptime.
    static QDateTime bootTime();
    // 00:00 of the date's day in local time, or the first time that exists that day.
    static QDateTime startOfDay(const QDateTime& date);

private:
    mutable std::mutex m_mutex;
    mutable std::optional<ServerConfiguaration> m_cachedConfig;
};
