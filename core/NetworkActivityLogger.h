#pragma once

#include "core/HttpRequestRecord.h"
#include "core/NetworkActivityLoggerLevel.h"
#include "platform/SerialQueue.h"

#include <QMetaObject>
#include <QNetworkRequest>

#include <functional>
#include <mutex>
#include <vector>

// Traces every HTTP request of every session into the file log: a divider and the method
// and address when a request starts, the status, address and duration (or the error)
// when it finishes. It learns of requests from HttpEvents, so requesting code does
// nothing for it. All formatting and writing happens on its own serial queue.
class NetworkActivityLogger
{
public:
    // A request for which it returns true is not traced.
    using FilterPredicate = std::function<bool(const QNetworkRequest&)>;

    NetworkActivityLogger();
    ~NetworkActivityLogger(); // stops observing
    NetworkActivityLogger(const NetworkActivityLogger&) = delete;
    NetworkActivityLogger& operator=(const NetworkActivityLogger&) = delete;

    static NetworkActivityLogger& shared();

    NetworkActivityLoggerLevel level() const;
    void setLevel(NetworkActivityLoggerLevel level);
    FilterPredicate filterPredicate() const;
    void setFilterPredicate(FilterPredicate predicate);

    // Observes the start and finish of requests; calling it again leaves one observation.
    void startLogging();
    void stopLogging();

    // The observers: hand the record to the queue and return.
    void requestDidStart(HttpRequestRecordPtr record);
    void requestDidFinish(HttpRequestRecordPtr record);

    SerialQueue& queue() { return m_queue; }

private:
    bool isTraced(const HttpRequestRecord& record) const;
    void logStart(const HttpRequestRecord& record) const;
    void logFinish(const HttpRequestRecord& record) const;

    mutable std::mutex m_mutex;
    NetworkActivityLoggerLevel m_level = NetworkActivityLoggerLevel::info;
    FilterPredicate m_filterPredicate;
    std::vector<QMetaObject::Connection> m_observations;
    SerialQueue m_queue{QStringLiteral("NetworkActivityLogger Queue")};
};
