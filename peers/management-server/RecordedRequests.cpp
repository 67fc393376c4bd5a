#include "RecordedRequests.h"

#include <QJsonObject>
#include <QString>

void RecordedRequests::add(const httplib::Request& request)
{
    Entry entry{request.method, request.path, {}, {}, request.body};
    const auto mark = request.target.find('?');
    if (mark != std::string::npos)
        entry.query = request.target.substr(mark + 1);
    for (const auto& [name, value] : request.headers) {
        // cpp-httplib files the socket's addresses among the header fields.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
            continue;
        entry.headers.emplace_back(name, value);
    }
    std::lock_guard lock(m_mutex);
    m_entries.push_back(std::move(entry));
}

void RecordedRequests::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

QJsonArray RecordedRequests::toJson() const
{
    std::lock_guard lock(m_mutex);
    QJsonArray list;
    for (const Entry& entry : m_entries) {
        QJsonArray headers;
        for (const auto& [name, value] : entry.headers)
            headers.append(QJsonArray{QString::fromStdString(name), QString::fromStdString(value)});
        list.append(QJsonObject{
            {QStringLiteral("method"), QString::fromStdString(entry.method)},
            {QStringLiteral("path"), QString::fromStdString(entry.path)},
            {QStringLiteral("query"), QString::fromStdString(entry.query)},
            {QStringLiteral("headers"), headers},
            {QStringLiteral("body"), QString::fromUtf8(entry.body.data(), qsizetype(entry.body.size()))},
        });
    }
    return list;
}
