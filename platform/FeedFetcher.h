#pragma once

#include "platform/UpdateError.h"
#include "platform/UpdateNetwork.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkReply;

// Fetches one small document (the feed, release notes) into memory over HTTPS, refusing a
// body over the size limit as soon as it shows (declared or received) and any status but
// 2xx. The completion runs once on the main thread, never after cancel().
class FeedFetcher : public QObject
{
public:
    using Completion = std::function<void(std::optional<QByteArray> body, const UpdateError& error)>;

    // errorCode is the UpdateError code of every failure (AppcastError, ReleaseNotesError).
    FeedFetcher(UpdateNetwork network, qint64 maximumSize, int errorCode);
    ~FeedFetcher() override;

    void fetch(const QUrl& url, Completion completion);
    void cancel();

private:
    void readAvailable();
    void finished();
    void fail(const QString& text);

    UpdateNetwork m_network;
    qint64 m_maximumSize;
    int m_errorCode;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    Completion m_completion;
    quint64 m_generation = 0; // a queued failure of an earlier fetch is dropped
};
