#pragma once

#include "core/HttpError.h"
#include "core/HttpResponse.h"

#include <QByteArray>
#include <QNetworkRequest>

#include <optional>

// What a response handler receives: the request, the HTTP response if one arrived, the
// body as it came (also when the request failed), and either the serialised value or
// the error.
template <typename Value> struct DataResponse
{
    QNetworkRequest request;
    std::optional<HttpResponse> response;
    QByteArray data;
    std::optional<Value> value;
    std::optional<HttpError> error;
    double duration = 0; // seconds

    bool isSuccess() const { return !error.has_value(); }
    bool isFailure() const { return error.has_value(); }
    // The status code; 0 when no HTTP response arrived.
    int statusCode() const { return response ? response->statusCode : 0; }
    bool hasNoResponse() const { return !response.has_value(); }
    QString errorText() const { return error ? error->errorDescription() : QString(); }
};
