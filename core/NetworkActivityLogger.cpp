#include "core/NetworkActivityLogger.h"

#include "core/HttpEvents.h"
#include "core/Log.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringDecoder>

namespace {

const QString divider = QStringLiteral("---------------------");

QString quotedUrl(const HttpRequestRecord& record)
{
    return QStringLiteral(" '") + record.url.toString(QUrl::FullyEncoded) + QLatin1Char('\'');
}

QString formattedDuration(double seconds)
{
    return QString::asprintf("%.04f", seconds);
}

// A JSON body pretty-printed; any other body as UTF-8 text; nothing for bytes that are
// not UTF-8.
std::optional<QString> bodyText(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError && !document.isNull()) {
        QByteArray pretty = document.toJson(QJsonDocument::Indented);
        if (pretty.endsWith('\n'))
            pretty.chop(1);
        return QString::fromUtf8(pretty);
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

NetworkActivityLogger::NetworkActivityLogger() = default;

NetworkActivityLogger::~NetworkActivityLogger()
{
    stopLogging();
}

NetworkActivityLogger& NetworkActivityLogger::shared()
{
    static NetworkActivityLogger instance;
    return instance;
}

NetworkActivityLoggerLevel NetworkActivityLogger::level() const
{
    std::lock_guard lock(m_mutex);
    return m_level;
}

void NetworkActivityLogger::setLevel(NetworkActivityLoggerLevel level)
{
    std::lock_guard lock(m_mutex);
    m_level = level;
}

NetworkActivityLogger::FilterPredicate NetworkActivityLogger::filterPredicate() const
{
    std::lock_guard lock(m_mutex);
    return m_filterPredicate;
}

void NetworkActivityLogger::setFilterPredicate(FilterPredicate predicate)
{
    std::lock_guard lock(m_mutex);
    m_filterPredicate = std::move(predicate);
}

void NetworkActivityLogger::startLogging()
{
    stopLogging();
    HttpEvents* events = HttpEvents::shared();
    std::lock_guard lock(m_mutex);
    // Direct connections: the observers run on the posting thread and only enqueue.
    m_observations.push_back(
        QObject::connect(events, &HttpEvents::requestDidResume,
                         [this](HttpRequestRecordPtr record) { requestDidStart(std::move(record)); }));
    m_observations.push_back(
        QObject::connect(events, &HttpEvents::requestDidFinish,
                         [this](HttpRequestRecordPtr record) { requestDidFinish(std::move(record)); }));
}

void NetworkActivityLogger::stopLogging()
{
    std::lock_guard lock(m_mutex);
    for (const QMetaObject::Connection& connection : m_observations)
        QObject::disconnect(connection);
    m_observations.clear();
}

void NetworkActivityLogger::requestDidStart(HttpRequestRecordPtr record)
{
    m_queue.async([this, record = std::move(record)] {
        if (record && isTraced(*record))
            logStart(*record);
    });
}

void NetworkActivityLogger::requestDidFinish(HttpRequestRecordPtr record)
{
    m_queue.async([this, record = std::move(record)] {
        if (record && record->hasMetrics && isTraced(*record))
            logFinish(*record);
    });
}

bool NetworkActivityLogger::isTraced(const HttpRequestRecord& record) const
{
    if (!record.isDataRequest || record.method.isEmpty() || !record.url.isValid())
        return false;
    const FilterPredicate predicate = filterPredicate();
    return !(predicate && predicate(record.request));
}

void NetworkActivityLogger::logStart(const HttpRequestRecord& record) const
{
    switch (level()) {
    case NetworkActivityLoggerLevel::debug:
        log(divider);
        log(record.method + quotedUrl(record) + QLatin1Char(':'));
        log(QStringLiteral("cURL:\n") + record.cURLDescription);
        break;
    case NetworkActivityLoggerLevel::info:
        log(divider);
        log(record.method + quotedUrl(record));
        break;
    default:
        break;
    }
}

void NetworkActivityLogger::logFinish(const HttpRequestRecord& record) const
{
    const NetworkActivityLoggerLevel current = level();
    const QString duration = formattedDuration(record.duration);
    if (record.error) {
        if (current == NetworkActivityLoggerLevel::off || current == NetworkActivityLoggerLevel::fatal)
            return;
        log(divider);
        log(QStringLiteral("[Error] ") + record.method + quotedUrl(record) + QStringLiteral(" [") + duration +
            QStringLiteral(" s]:"));
        log(*record.error);
        return;
    }
    if (!record.statusCode)
        return;
    const QString statusLine = QString::number(*record.statusCode) + quotedUrl(record) +
                               QStringLiteral(" [") + duration + QStringLiteral(" s]");
    if (current == NetworkActivityLoggerLevel::info) {
        log(divider);
        log(statusLine);
    } else if (current == NetworkActivityLoggerLevel::debug) {
        log(divider);
        log(statusLine + QLatin1Char(':'));
        log(QStringLiteral("Headers: ["));
        for (const auto& field : record.responseHeaders)
            log(QStringLiteral("  ") + QString::fromLatin1(field.first) + QStringLiteral(": ") +
                QString::fromUtf8(field.second));
        log(QStringLiteral("]"));
        if (record.responseData) {
            log(QStringLiteral("Body:"));
            if (const std::optional<QString> text = bodyText(*record.responseData))
                log(*text);
        }
    }
}
