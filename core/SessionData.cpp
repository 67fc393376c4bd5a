#include "core/SessionData.h"

#include "core/ApiClient.h"
#include "core/ApiUrls.h"
#include "core/HttpSession.h"
#include "core/RetriveTokenResponse.h"

#include "core/JsonDecoding.h"
#include "core/Log.h"
#include "platform/DateFormatter.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QJsonDocument>

#include <cmath>
#include <ctime>

const QString SessionData::authTokenKey = QStringLiteral("authToken");
const QString SessionData::userEmailKey = QStringLiteral("userEmail");
const QString SessionData::serverConfigurationKey = QStringLiteral("ServerConfiguaration");
const QString SessionData::lastUpdateTimeKey = QStringLiteral("lastUpdateTime");
const QString SessionData::lastSyncTimeKey = QStringLiteral("lastSyncTime");
const QString SessionData::isLastSyncFailedKey = QStringLiteral("isLastSyncFailed");
const QString SessionData::bypassesUsedKey = QStringLiteral("bypassesUsed");
const QString SessionData::relaxedPolicyEnabledTimeKey = QStringLiteral("relaxedPolicyEnabledTime");
const QString SessionData::lastRelaxedPolicyUsedTimeKey = QStringLiteral("lastRelaxedPolicyUsedTime");

namespace {

// Coding keys of the JSON form that differ from the user-defaults keys.
const QString userConfigCodingKey = QStringLiteral("userConfig");

// 2001-01-01 00:00:00 UTC in seconds since 1970.
constexpr double referenceEpochSeconds = 978307200.0;
// Dates beyond about three million years from 2001 are not dates we can keep.
constexpr double maxReferenceSeconds = 1e14;

std::mutex& sharedMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SessionData>& sharedInstance()
{
    static std::shared_ptr<SessionData> instance;
    return instance;
}

UserDefaults& defaults()
{
    return UserDefaults::standard();
}

struct StoredDate
{
    bool present = false;
    std::optional<QDateTime> date; // absent when the text does not parse
};

StoredDate readDate(const QString& key)
{
    if (!defaults().contains(key))
        return {};
    const std::optional<QString> text = defaults().string(key);
    return {true, text ? DateFormatter::parseShortStyle(*text) : std::nullopt};
}

void storeDate(const QString& key, const QDateTime& date)
{
    defaults().setString(key, DateFormatter::shortStyle(date));
}

double systemUptimeSeconds()
{
    QFile file(QStringLiteral("/proc/uptime"));
    if (file.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const double seconds = file.readLine().split(' ').value(0).toDouble(&ok);
        if (ok && std::isfinite(seconds) && seconds >= 0)
            return seconds;
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

std::shared_ptr<SessionData> SessionData::shared()
{
    std::lock_guard lock(sharedMutex());
    std::shared_ptr<SessionData>& instance = sharedInstance();
    if (!instance)
        instance = std::make_shared<SessionData>();
    return instance;
}

void SessionData::setShared(std::shared_ptr<SessionData> instance)
{
    if (!instance)
        return;
    {
        std::lock_guard lock(sharedMutex());
        sharedInstance().swap(instance);
    }
    // The previous instance (now in `instance`) goes when its last reader lets go.
}

QString SessionData::authToken() const
{
    return defaults().string(authTokenKey).value_or(QString());
}

QString SessionData::userEmail() const
{
    return defaults().string(userEmailKey).value_or(QString());
}

ServerConfiguaration SessionData::userConfig() const
{
    // Filled once per instance; the lock makes the first fill safe for concurrent readers.
    // Lock order: m_mutex, then the user defaults' lock. The log line waits for the unlock.
    QString problem;
    ServerConfiguaration configuration;
    {
        std::lock_guard lock(m_mutex);
        if (m_cachedConfig)
            return *m_cachedConfig;
        if (const std::optional<QByteArray> stored = defaults().data(serverConfigurationKey)) {
            DecodeResult<ServerConfiguaration> decoded = ServerConfiguaration::fromJson(*stored);
            if (decoded)
                m_cachedConfig = std::move(decoded).value();
            else
                problem = decoded.error();
        }
        if (!m_cachedConfig)
            m_cachedConfig = ServerConfiguaration::makeDefault();
        configuration = *m_cachedConfig;
    }
    if (!problem.isEmpty())
        log(QStringLiteral("SessionData: the stored server configuration does not decode (%1); "
                           "using the default configuration")
                .arg(problem));
    return configuration;
}

void SessionData::setUserConfig(const ServerConfiguaration& configuration)
{
    std::lock_guard lock(m_mutex);
    m_cachedConfig = configuration;
    defaults().setData(serverConfigurationKey, configuration.toJson());
}

std::optional<ServerConfiguaration> SessionData::cachedConfig() const
{
    std::lock_guard lock(m_mutex);
    return m_cachedConfig;
}

QDateTime SessionData::lastUpdateTime() const
{
    if (const StoredDate stored = readDate(lastUpdateTimeKey); stored.date)
        return *stored.date;
    return bootTime().addSecs(-1);
}

void SessionData::setLastUpdateTime(const QDateTime& date)
{
    storeDate(lastUpdateTimeKey, date);
}

QDateTime SessionData::lastSyncTime() const
{
    return readDate(lastSyncTimeKey).date.value_or(QDateTime::currentDateTime());
}

bool SessionData::isLastSyncFailed() const
{
    return defaults().boolean(isLastSyncFailedKey).value_or(false);
}

qint64 SessionData::bypassesUsed() const
{
    const QDateTime startOfToday = startOfDay(QDateTime::currentDateTime());
    if (lastRelaxedPolicyUsedTime() < startOfToday) {
        defaults().setInteger(bypassesUsedKey, 0);
        return 0;
    }
    return defaults().integer(bypassesUsedKey).value_or(0);
}

std::optional<QDateTime> SessionData::relaxedPolicyEnabledTime() const
{
    return readDate(relaxedPolicyEnabledTimeKey).date;
}

void SessionData::setRelaxedPolicyEnabledTime(const std::optional<QDateTime>& date)
{
    if (!date) {
        defaults().remove(relaxedPolicyEnabledTimeKey);
        return;
    }
    setLastRelaxedPolicyUsedTime(*date);
    storeDate(relaxedPolicyEnabledTimeKey, *date);
}

QDateTime SessionData::lastRelaxedPolicyUsedTime() const
{
    const StoredDate stored = readDate(lastRelaxedPolicyUsedTimeKey);
    if (!stored.present)
        return startOfDay(QDateTime::currentDateTime()).addDays(-1);
    return stored.date.value_or(QDateTime::currentDateTime());
}

void SessionData::setLastRelaxedPolicyUsedTime(const QDateTime& date)
{
    storeDate(lastRelaxedPolicyUsedTimeKey, date);
}

QJsonObject SessionData::encode() const
{
    QJsonObject object;
    object.insert(authTokenKey, authToken());
    object.insert(userEmailKey, userEmail());
    object.insert(userConfigCodingKey, userConfig().encode());
    object.insert(lastSyncTimeKey, referenceSeconds(lastSyncTime()));
    object.insert(isLastSyncFailedKey, isLastSyncFailed());
    object.insert(bypassesUsedKey, QJsonValue(bypassesUsed()));
    const std::optional<QDateTime> enabled = relaxedPolicyEnabledTime();
    object.insert(relaxedPolicyEnabledTimeKey,
                  enabled ? QJsonValue(referenceSeconds(*enabled)) : QJsonValue());
    object.insert(lastRelaxedPolicyUsedTimeKey, referenceSeconds(lastRelaxedPolicyUsedTime()));
    return object;
}

QByteArray SessionData::toJson() const
{
    return QJsonDocument(encode()).toJson(QJsonDocument::Compact);
}

DecodeResult<std::shared_ptr<SessionData>> SessionData::decode(const QJsonObject& object)
{
    using Result = DecodeResult<std::shared_ptr<SessionData>>;
    auto session = std::make_shared<SessionData>();

    const auto require = [&](const QString& key) { return JsonDecoding::required(object, key, QString()); };
    const auto date = [](const QJsonValue& value, const QString& key) -> DecodeResult<QDateTime> {
        const DecodeResult<double> seconds = JsonDecoding::number(value, key);
        if (!seconds)
            return DecodeResult<QDateTime>::failure(seconds.error());
        if (const std::optional<QDateTime> converted = fromReferenceSeconds(seconds.value()))
            return DecodeResult<QDateTime>::success(*converted);
        return DecodeResult<QDateTime>::failure(
            JsonDecoding::dataCorrupted(key, QStringLiteral("%1 is not a usable date").arg(seconds.value())));
    };
    // Each step stores its value before the next key is read.
    const auto step = [&](const QString& key, auto decode, auto store) -> QString {
        const DecodeResult<QJsonValue> value = require(key);
        if (!value)
            return value.error();
        auto decoded = decode(value.value(), key);
        if (!decoded)
            return decoded.error();
        store(decoded.value());
        return {};
    };

    QString error = step(authTokenKey, JsonDecoding::string,
                         [](const QString& v) { defaults().setString(authTokenKey, v); });
    if (error.isEmpty())
        error = step(userEmailKey, JsonDecoding::string,
                     [](const QString& v) { defaults().setString(userEmailKey, v); });
    if (error.isEmpty())
        error = step(
            userConfigCodingKey,
            [](const QJsonValue& v, const QString& key) { return ServerConfiguaration::decode(v, key); },
            [&](const ServerConfiguaration& v) { session->setUserConfig(v); });
    if (error.isEmpty())
        error = step(lastSyncTimeKey, date, [](const QDateTime& v) { storeDate(lastSyncTimeKey, v); });
    if (error.isEmpty())
        error = step(isLastSyncFailedKey, JsonDecoding::boolean,
                     [](bool v) { defaults().setBool(isLastSyncFailedKey, v); });
    if (error.isEmpty())
        error = step(bypassesUsedKey, JsonDecoding::integer,
                     [](qint64 v) { defaults().setInteger(bypassesUsedKey, v); });
    if (error.isEmpty()) {
        // The one key that may be null: no relaxed policy running.
        const QJsonValue enabled = object.value(relaxedPolicyEnabledTimeKey);
        if (enabled.isUndefined()) {
            error = JsonDecoding::keyNotFound(QString(), relaxedPolicyEnabledTimeKey);
        } else if (enabled.isNull()) {
            session->setRelaxedPolicyEnabledTime(std::nullopt);
        } else {
            const DecodeResult<QDateTime> decoded = date(enabled, relaxedPolicyEnabledTimeKey);
            if (decoded)
                session->setRelaxedPolicyEnabledTime(decoded.value());
            else
                error = decoded.error();
        }
    }
    if (error.isEmpty())
        error = step(lastRelaxedPolicyUsedTimeKey, date,
                     [](const QDateTime& v) { storeDate(lastRelaxedPolicyUsedTimeKey, v); });

    if (!error.isEmpty())
        return Result::failure(error);
    return Result::success(std::move(session));
}

DecodeResult<std::shared_ptr<SessionData>> SessionData::fromJson(const QByteArray& json)
{
    const DecodeResult<QJsonObject> object = JsonDecoding::parseObject(json);
    if (!object)
        return DecodeResult<std::shared_ptr<SessionData>>::failure(object.error());
    return decode(object.value());
}

double SessionData::referenceSeconds(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch()) / 1000.0 - referenceEpochSeconds;
}

std::optional<QDateTime> SessionData::fromReferenceSeconds(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > maxReferenceSeconds)
        return std::nullopt;
    const auto msecs = qint64(std::llround((seconds + referenceEpochSeconds) * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

QDateTime SessionData::bootTime()
{
    const auto uptimeMsecs = qint64(std::llround(systemUptimeSeconds() * 1000.0));
    return QDateTime::currentDateTime().addMSecs(-uptimeMsecs);
}

QDateTime SessionData::startOfDay(const QDateTime& date)
{
    return date.toLocalTime().date().startOfDay();
}

void SessionData::retrieveToken(RetrieveTokenCompletion completion)
{
    ApiClient::session()
        .post(ApiUrls::retrieveToken(), ApiClient::deviceParameters())
        ->validate()
        .responseDecodable<RetriveTokenResponse>([completion](const DataResponse<RetriveTokenResponse>& response) {
            const int status = response.statusCode();
            const bool noResponse = response.hasNoResponse();
            if (response.isFailure() || !response.value) {
                completion(false, status, noResponse);
                return;
            }
            const auto& token = response.value->authToken;
            const auto& email = response.value->userEmail;
            if (!token || token->isEmpty() || !email || email->isEmpty()) {
                completion(false, status, noResponse);
                return;
            }
            UserDefaults::standard().setString(authTokenKey, *token);
            UserDefaults::standard().setString(userEmailKey, *email);
            completion(true, status, noResponse);
        });
}
