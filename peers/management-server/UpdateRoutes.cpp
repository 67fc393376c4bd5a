#include "UpdateRoutes.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

void answer(httplib::Response& response, int status, const char* json)
{
    response.status = status;
    response.set_content(json, "application/json");
}

// Padding and files are streamed in pieces, so a feed of 100 MiB or a large archive never
// sits in the stand-in's memory.
constexpr std::size_t pieceSize = 64 * 1024;

void serveFeed(const UpdateFeed& feed, httplib::Response& response)
{
    const auto head = std::make_shared<std::string>(feed.head());
    const auto tail = std::make_shared<std::string>(feed.tail());
    const std::size_t padding = std::size_t(feed.padding());
    const std::size_t total = head->size() + padding + tail->size();
    response.set_content_provider(
        total, "application/rss+xml", [head, tail, padding](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::string piece;
            const std::size_t end = offset + std::min(length, pieceSize);
            for (std::size_t at = offset; at < end;) {
                if (at < head->size()) {
                    const std::size_t n = std::min(end, head->size()) - at;
                    piece.append(*head, at, n);
                    at += n;
                } else if (at < head->size() + padding) {
                    const std::size_t n = std::min(end, head->size() + padding) - at;
                    piece.append(n, 'x');
                    at += n;
                } else {
                    const std::size_t from = at - head->size() - padding;
                    const std::size_t n = end - at;
                    piece.append(*tail, from, n);
                    at += n;
                }
            }
            return sink.write(piece.data(), piece.size());
        });
}

void serveFile(const UpdateFeed::File& file, httplib::Response& response)
{
    std::FILE* handle = std::fopen(file.path.c_str(), "rb");
    if (!handle) {
        answer(response, 404, R"({"error":"Not found"})");
        return;
    }
    std::fseek(handle, 0, SEEK_END);
    const long size = std::ftell(handle);
    const auto stream = std::shared_ptr<std::FILE>(handle, &std::fclose);
    const std::int64_t truncateAt = file.truncateAt;
    response.set_content_provider(
        std::size_t(size), "application/octet-stream",
        [stream, truncateAt](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (truncateAt >= 0 && std::int64_t(offset) >= truncateAt)
                return false; // closes the connection short of the announced length
            std::size_t wanted = std::min(length, pieceSize);
            if (truncateAt >= 0)
                wanted = std::min<std::size_t>(wanted, std::size_t(truncateAt - std::int64_t(offset)));
            std::string piece(wanted, '\0');
            std::fseek(stream.get(), long(offset), SEEK_SET);
            const std::size_t read = std::fread(piece.data(), 1, wanted, stream.get());
            return read > 0 && sink.write(piece.data(), read);
        });
}

std::optional<QJsonObject> objectBody(const httplib::Request& request)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body));
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

namespace UpdateRoutes {

void install(httplib::Server& server, Router& router, UpdateFeed& feed)
{
    router.add("GET", feedPath,
               [&feed](const httplib::Request&, httplib::Response& response) { serveFeed(feed, response); });
    router.addPrefix("GET", filesPath, [&feed](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.path.substr(std::string(filesPath).size());
        if (const auto file = feed.file(name))
            serveFile(*file, response);
        else
            answer(response, 404, R"({"error":"Not found"})");
    });

    server.Post("/__peer/update/feed", [&feed](const httplib::Request& request, httplib::Response& response) {
        const auto body = objectBody(request);
        if (!body)
            return answer(response, 400, R"({"error":"the body must be a JSON object"})");
        feed.setItems(body->value(QStringLiteral("items")).toArray(),
                      std::int64_t(body->value(QStringLiteral("padding")).toDouble()));
        answer(response, 200, R"({"ok":true})");
    });
    server.Post("/__peer/update/file", [&feed](const httplib::Request& request, httplib::Response& response) {
        const auto body = objectBody(request);
        const std::string name = body ? body->value(QStringLiteral("name")).toString().toStdString() : std::string();
        const std::string path = body ? body->value(QStringLiteral("path")).toString().toStdString() : std::string();
        if (name.empty() || path.empty() || name.find('/') != std::string::npos)
            return answer(response, 400, R"({"error":"name (without /) and path are required"})");
        UpdateFeed::File file;
        file.path = path;
        file.truncateAt = std::int64_t(body->value(QStringLiteral("truncateAt")).toDouble(-1));
        feed.setFile(name, file);
        answer(response, 200, R"({"ok":true})");
    });
    server.Post("/__peer/update/reset", [&feed](const httplib::Request&, httplib::Response& response) {
        feed.clear();
        answer(response, 200, R"({"ok":true})");
    });
}

} // namespace UpdateRoutes
