#include "Router.h"

#include <chrono>
#include <thread>

void Router::add(const std::string& method, const std::string& path, Handler handler)
{
    m_routes[{method, path}] = std::move(handler);
}

void Router::addPrefix(const std::string& method, const std::string& prefix, Handler handler)
{
    m_prefixRoutes[{method, prefix}] = std::move(handler);
}

void Router::install(httplib::Server& server)
{
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        dispatch(request, response);
    };
    const std::string any = "/.*";
    server.Get(any, handler);
    server.Post(any, handler);
    server.Put(any, handler);
    server.Patch(any, handler);
    server.Delete(any, handler);
    server.Options(any, handler);
}

void Router::dispatch(const httplib::Request& request, httplib::Response& response)
{
    m_records.add(request);
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    if (const std::optional<ScriptedAnswer> answer = m_script.take(request.method, request.path)) {
        if (answer->delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(answer->delayMs));
        answer->apply(response);
        return;
    }
    if (auto route = m_routes.find({method, request.path}); route != m_routes.end()) {
        route->second(request, response);
        return;
    }
    for (const auto& [key, handler] : m_prefixRoutes) {
        if (key.first == method && request.path.compare(0, key.second.size(), key.second) == 0) {
            handler(request, response);
            return;
        }
    }
    response.status = 404;
    response.set_content(R"({"error":"Not found"})", "application/json");
}
