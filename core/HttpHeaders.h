#pragma once

#include "core/HttpHeader.h"

#include <QList>

#include <initializer_list>
#include <optional>

// An ordered list of header fields whose names compare without regard to case: adding a
// field that is already there replaces its value in place.
class HttpHeaders
{
public:
    HttpHeaders() = default;
    HttpHeaders(std::initializer_list<HttpHeader> headers);

    // The session's own fields, sent with every request unless a request sets them:
    // Accept-Language from the user's languages and a User-Agent naming the application.
    static HttpHeaders defaults();

    void add(const HttpHeader& header);
    void add(const QString& name, const QString& value) { add(HttpHeader{name, value}); }
    void remove(const QString& name);
    std::optional<QString> value(const QString& name) const;
    bool contains(const QString& name) const { return value(name).has_value(); }

    qsizetype size() const { return m_headers.size(); }
    bool isEmpty() const { return m_headers.isEmpty(); }
    QList<HttpHeader>::const_iterator begin() const { return m_headers.cbegin(); }
    QList<HttpHeader>::const_iterator end() const { return m_headers.cend(); }
    const QList<HttpHeader>& fields() const { return m_headers; }

    bool operator==(const HttpHeaders&) const = default;

private:
    QList<HttpHeader> m_headers;
};
