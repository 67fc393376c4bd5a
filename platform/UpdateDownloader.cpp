#include "platform/UpdateDownloader.h"

#include <QNetworkReply>

namespace {
// The reply buffers at most this much before the socket is throttled.
constexpr qint64 readBufferSize = 1024 * 1024;
} // namespace

UpdateDownloader::UpdateDownloader(UpdateNetwork network, QObject* parent)
    : QObject(parent), m_network(std::move(network))
{
}

UpdateDownloader::~UpdateDownloader()
{
    cancel();
}

void UpdateDownloader::download(const QUrl& url, const QString& filePath, quint64 expectedLength,
                                Callbacks callbacks)
{
    cancel();
    m_callbacks = std::move(callbacks);
    m_expected = expectedLength;
    m_received = 0;
    m_announced = false;

    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        const UpdateError error(UpdateError::DownloadError,
                                QStringLiteral("The update’s address %1 cannot be downloaded.").arg(url.toDisplayString()));
        QMetaObject::invokeMethod(this, [this, error] { finish(error); }, Qt::QueuedConnection);
        return;
    }
    m_file = std::make_unique<QFile>(filePath);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const UpdateError error(UpdateError::TemporaryDirectoryError,
                                QStringLiteral("The update cannot be saved to %1: %2").arg(filePath, m_file->errorString()));
        QMetaObject::invokeMethod(this, [this, error] { finish(error); }, Qt::QueuedConnection);
        return;
    }

    m_reply = m_network.get(url);
    m_reply->setReadBufferSize(readBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateDownloader::metaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateDownloader::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateDownloader::replyFinished);
}

void UpdateDownloader::cancel()
{
    m_callbacks = {};
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_file) {
        m_file->remove();
        m_file.reset();
    }
}

void UpdateDownloader::metaDataChanged()
{
    if (!m_reply || m_announced)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400)
        return; // a redirect: the next hop's header counts
    if (status != 0 && (status < 200 || status > 299)) {
        finish(UpdateError(UpdateError::DownloadError,
                           QStringLiteral("The server answered the download with HTTP status %1.").arg(status)));
        return;
    }
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid()) {
        const quint64 length = declared.toULongLong();
        if (m_expected != 0 && length != m_expected) {
            finish(UpdateError(UpdateError::DownloadError,
                               QStringLiteral("The server offers %1 bytes where the update feed announced %2.")
                                   .arg(length)
                                   .arg(m_expected)));
            return;
        }
        if (m_expected == 0)
            m_expected = length;
    }
    m_announced = true;
    if (m_expected != 0 && m_callbacks.expectedLength)
        m_callbacks.expectedLength(m_expected);
}

void UpdateDownloader::readAvailable()
{
    if (!m_reply)
        return;
    if (!m_announced)
        metaDataChanged();
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400)
        return;
    char buffer[64 * 1024];
    while (m_reply && m_reply->bytesAvailable() > 0) {
        const qint64 count = m_reply->read(buffer, sizeof buffer);
        if (count <= 0)
            break;
        if (m_expected != 0 && m_received + quint64(count) > m_expected) {
            finish(UpdateError(UpdateError::DownloadError,
                               QStringLiteral("The download is longer than the %1 bytes the update feed announced.")
                                   .arg(m_expected)));
            return;
        }
        if (m_file->write(buffer, count) != count) {
            finish(UpdateError(UpdateError::TemporaryDirectoryError,
                               QStringLiteral("The update cannot be saved: %1").arg(m_file->errorString())));
            return;
        }
        m_received += quint64(count);
        if (m_callbacks.received)
            m_callbacks.received(quint64(count));
    }
}

void UpdateDownloader::replyFinished()
{
    if (!m_reply)
        return;
    readAvailable();
    if (!m_reply)
        return;
    const QNetworkReply::NetworkError networkError = m_reply->error();
    const QString errorText = m_reply->errorString();
    if (networkError != QNetworkReply::NoError) {
        finish(UpdateError(UpdateError::DownloadError, QStringLiteral("The download failed: %1").arg(errorText)));
        return;
    }
    if (!m_announced || (m_expected != 0 && m_received != m_expected)) {
        finish(UpdateError(UpdateError::DownloadError,
                           QStringLiteral("The download ended after %1 of %2 bytes.").arg(m_received).arg(m_expected)));
        return;
    }
    if (!m_file->flush()) {
        finish(UpdateError(UpdateError::TemporaryDirectoryError,
                           QStringLiteral("The update cannot be saved: %1").arg(m_file->errorString())));
        return;
    }
    m_file->close();
    m_file.reset();
    finish(UpdateError());
}

// On failure the partial file is removed; either way no callback runs afterwards.
void UpdateDownloader::finish(const UpdateError& error)
{
    std::function<void(const UpdateError&)> finished = std::move(m_callbacks.finished);
    if (error.code == 0)
        m_file.reset();
    cancel();
    if (finished)
        finished(error);
}
