#include "core/HttpHeaders.h"

#include "core/Device.h"
#include "platform/Bundle.h"

#include <QLocale>

HttpHeaders::HttpHeaders(std::initializer_list<HttpHeader> headers)
{
    for (const HttpHeader& header : headers)
        add(header);
}

HttpHeaders HttpHeaders::defaults()
{
    QStringList languages;
    const QStringList preferred = QLocale::system().uiLanguages();
    for (qsizetype i = 0; i < preferred.size() && i < 6; ++i)
        languages << QStringLiteral("%1;q=%2").arg(preferred[i]).arg(1.0 - 0.1 * double(i), 0, 'f', 1);
    if (languages.isEmpty())
        languages << QStringLiteral("en;q=1.0");

    const Bundle bundle = Bundle::main();
    const QString executable =
        bundle.string(QStringLiteral("CFBundleExecutable")).value_or(QStringLiteral("Norvane"));
    const QString identifier =
        bundle.string(QStringLiteral("CFBundleIdentifier")).value_or(QStringLiteral("Unknown"));
    const QString build =
        bundle.string(QStringLiteral("CFBundleVersion")).value_or(QStringLiteral("Unknown"));
    const QString version = Device::appVersion().isEmpty() ? QStringLiteral("Unknown") : Device::appVersion();
    const QString agent = QStringLiteral("%1/%2 (%3; build:%4; Linux %5)")
                              .arg(executable, version, identifier, build, Device::osVersion());
    return {{QStringLiteral("Accept-Language"), languages.join(QStringLiteral(", "))},
            HttpHeader::userAgent(agent)};
}

void HttpHeaders::add(const HttpHeader& header)
{
    for (HttpHeader& existing : m_headers) {
        if (existing.name.compare(header.name, Qt::CaseInsensitive) == 0) {
            existing.value = header.value;
            return;
        }
    }
    m_headers.append(header);
}

void HttpHeaders::remove(const QString& name)
{
    m_headers.removeIf(
        [&](const HttpHeader& header) { return header.name.compare(name, Qt::CaseInsensitive) == 0; });
}

std::optional<QString> HttpHeaders::value(const QString& name) const
{
    for (const HttpHeader& header : m_headers) {
        if (header.name.compare(name, Qt::CaseInsensitive) == 0)
            return header.value;
    }
    return std::nullopt;
}
