#pragma once

#include "core/DataRequest.h"
#include "core/DataResponse.h"

#include <QTcpServer>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

// Waits (running the event loop) for the one response a request hands to its handler.
template <typename T>
std::optional<DataResponse<T>>
awaitResponse(const std::function<void(std::function<void(const DataResponse<T>&)>)>& attach,
              int timeoutMs = 30'000)
{
    // Shared, so that a reply arriving after a timed-out wait has somewhere to go.
    auto result = std::make_shared<std::optional<DataResponse<T>>>();
    attach([result](const DataResponse<T>& response) { *result = response; });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, timeoutMs))
        return std::nullopt;
    return *result;
}

inline std::optional<DataResponse<QString>> awaitString(const std::shared_ptr<DataRequest>& request)
{
    return awaitResponse<QString>([&](auto done) { request->responseString(done); });
}

// A loopback port on which nothing listens.
inline int closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const int port = server.serverPort();
    server.close();
    return port;
}
