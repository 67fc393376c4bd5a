#pragma once

#include "core/HttpRequestRecord.h"

#include <QObject>

// The process-wide notice board of HTTP requests: every session announces each request
// here when it starts and when it finishes, so observers (the activity log) see all of
// them without the requesting code doing anything. Signals are emitted on the session's
// thread; connect directly and hand the record on.
class HttpEvents : public QObject
{
    Q_OBJECT
public:
    static HttpEvents* shared();

signals:
    void requestDidResume(HttpRequestRecordPtr record);
    void requestDidFinish(HttpRequestRecordPtr record);

private:
    HttpEvents() = default;
};
