#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// What the session tells observers about one request when it starts and when it ends.
struct HttpRequestRecord
{
    bool isDataRequest = true;
    QNetworkRequest request; // as the caller built it
    QString method;
    QUrl url;
    // Whether the request reached the network, so that it has a duration.
    bool hasMetrics = false;
    double duration = 0; // seconds, from start to finish
    // The transport error (no connection, refused certificate, cancelled); a status
    // outside 200-299 is not one.
    std::optional<QString> error;
    std::optional<int> statusCode; // present when an HTTP response arrived
    QList<QPair<QByteArray, QByteArray>> responseHeaders;
    std::optional<QByteArray> responseData; // present when body bytes arrived
    QString cURLDescription;
};

using HttpRequestRecordPtr = std::shared_ptr<const HttpRequestRecord>;
