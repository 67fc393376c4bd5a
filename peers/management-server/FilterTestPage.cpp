#include "FilterTestPage.h"

#include "platform/Deployment.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

void answer(httplib::Response& response, int status, const QJsonObject& body)
{
    response.status = status;
    response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                         "application/json");
}

} // namespace

std::string FilterTestPage::body(bool withMarker) const
{
    const std::string marker = withMarker ? Deployment::filterTestMarker().toStdString() : std::string();
    return "<!DOCTYPE html>\n<html><head><title>Norvane filter test</title></head>\n<body><p>" + marker +
           "</p></body></html>\n";
}

void FilterTestPage::install(httplib::Server& server, Router& router)
{
    server.Post("/__peer/filter-test", [this](const httplib::Request& request, httplib::Response& response) {
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body));
        if (!document.isObject())
            return answer(response, 400,
                          {{QStringLiteral("error"), QStringLiteral("the body must be a JSON object")}});
        const QJsonObject settings = document.object();
        const QJsonValue status = settings.value(QStringLiteral("status"));
        if (!status.isUndefined() && (!status.isDouble() || status.toInt() < 100 || status.toInt() > 599))
            return answer(response, 400,
                          {{QStringLiteral("error"), QStringLiteral("status must be 100 to 599")}});
        std::lock_guard lock(m_mutex);
        if (!status.isUndefined())
            m_status = status.toInt();
        if (settings.contains(QStringLiteral("marker")))
            m_withMarker = settings.value(QStringLiteral("marker")).toBool();
        answer(response, 200,
               {{QStringLiteral("ok"), true},
                {QStringLiteral("status"), m_status},
                {QStringLiteral("marker"), m_withMarker}});
    });
    router.add("GET", "/", [this](const httplib::Request&, httplib::Response& response) {
        int status = 200;
        bool withMarker = true;
        {
            std::lock_guard lock(m_mutex);
            status = m_status;
            withMarker = m_withMarker;
        }
        response.status = status;
        response.set_content(body(withMarker), "text/html; charset=utf-8");
    });
}
