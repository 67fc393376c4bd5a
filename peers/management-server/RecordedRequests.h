#pragma once

#include <httplib.h>

#include <QJsonArray>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Every request the peer was sent (admin requests aside), in arrival order. Any thread.
class RecordedRequests
{
public:
    struct Entry
    {
        std::string method;
        std::string path;
        std::string query;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    void add(const httplib::Request& request);
    void clear();
    // [{"method", "path", "query", "headers": [[name, value], ...], "body"}, ...]
    QJsonArray toJson() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};
