#pragma once

#include "AnswerScript.h"
#include "RecordedRequests.h"

#include <httplib.h>

#include <functional>
#include <map>
#include <string>

// Answers every request outside the admin API: records it, then answers with what the
// test scripted for its path, else with the route's default answer, else 404. Routes are
// added by the parts of the peer (API, and later the update feed and web pages).
class Router
{
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    Router(AnswerScript& script, RecordedRequests& records) : m_script(script), m_records(records) {}

    void add(const std::string& method, const std::string& path, Handler handler);
    // For every path that starts with the prefix (when no exact route matches).
    void addPrefix(const std::string& method, const std::string& prefix, Handler handler);
    // Catch-all handlers for every method; install after the admin routes.
    void install(httplib::Server& server);
    void dispatch(const httplib::Request& request, httplib::Response& response);

private:
    AnswerScript& m_script;
    RecordedRequests& m_records;
    std::map<std::pair<std::string, std::string>, Handler> m_routes;
    std::map<std::pair<std::string, std::string>, Handler> m_prefixRoutes;
};
