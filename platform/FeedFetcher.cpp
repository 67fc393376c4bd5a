#include "platform/FeedFetcher.h"

#include <QNetworkReply>

FeedFetcher::FeedFetcher(UpdateNetwork network, qint64 maximumSize, int errorCode)
    : m_network(std::move(network)), m_maximumSize(maximumSize), m_errorCode(errorCode)
{
}

FeedFetcher::~FeedFetcher()
{
    cancel();
}

void FeedFetcher::fetch(const QUrl& url, Completion completion)
{
    cancel();
    m_body.clear();
    m_completion = std::move(completion);
    if (!url.isValid() || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty()) {
        // Reported from the event loop, like every other outcome.
        const QString text = QStringLiteral("The address %1 is not a secure (https) address.")
                                 .arg(url.toDisplayString());
        QMetaObject::invokeMethod(
            this,
            [this, text, generation = m_generation] {
                if (generation == m_generation)
                    fail(text);
            },
            Qt::QueuedConnection);
        return;
    }
    m_reply = m_network.get(url);
    QObject::connect(m_reply, &QNetworkReply::metaDataChanged, m_reply, [this] {
        const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (declared.isValid() && declared.toLongLong() > m_maximumSize)
            fail(QStringLiteral("The document is larger than %1 bytes.").arg(m_maximumSize));
    });
    QObject::connect(m_reply, &QNetworkReply::readyRead, m_reply, [this] { readAvailable(); });
    QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this] { finished(); });
}

void FeedFetcher::cancel()
{
    ++m_generation;
    m_completion = nullptr;
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
    }
}

void FeedFetcher::readAvailable()
{
    if (!m_reply)
        return;
    const QByteArray piece = m_reply->readAll();
    if (m_body.size() + piece.size() > m_maximumSize) {
        fail(QStringLiteral("The document is larger than %1 bytes.").arg(m_maximumSize));
        return;
    }
    m_body.append(piece);
}

void FeedFetcher::finished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    readAvailable();
    if (!m_reply)
        return; // over the limit: already reported
    m_reply = nullptr;
    reply->disconnect();
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    if (!completion)
        return;
    if (reply->error() != QNetworkReply::NoError && status == 0) {
        completion(std::nullopt, UpdateError(m_errorCode, reply->errorString()));
        return;
    }
    if (status < 200 || status > 299) {
        completion(std::nullopt,
                   UpdateError(m_errorCode, QStringLiteral("The server answered with HTTP status %1.").arg(status)));
        return;
    }
    completion(std::exchange(m_body, {}), UpdateError());
}

void FeedFetcher::fail(const QString& text)
{
    Completion completion = std::move(m_completion);
    cancel();
    m_body.clear();
    if (completion)
        completion(std::nullopt, UpdateError(m_errorCode, text));
}
