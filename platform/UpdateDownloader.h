#pragma once

#include "platform/UpdateError.h"
#include "platform/UpdateNetwork.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkReply;

// Downloads an archive straight into a file, piece by piece as it arrives, so memory does
// not grow with its size. The length announced in the feed is the contract: a body that is
// longer or shorter, or a server that declares another length, fails the download.
// Lives on the main thread; the callbacks run there and none runs after cancel().
class UpdateDownloader : public QObject
{
public:
    struct Callbacks
    {
        std::function<void(quint64 expectedLength)> expectedLength;
        std::function<void(quint64 length)> received;
        std::function<void(const UpdateError& error)> finished; // code 0: success
    };

    explicit UpdateDownloader(UpdateNetwork network, QObject* parent = nullptr);
    ~UpdateDownloader() override;

    // expectedLength 0: the feed gave none; the server's Content-Length then decides.
    void download(const QUrl& url, const QString& filePath, quint64 expectedLength, Callbacks callbacks);
    void cancel();

private:
    void metaDataChanged();
    void readAvailable();
    void replyFinished();
    void finish(const UpdateError& error);

    UpdateNetwork m_network;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QFile> m_file;
    quint64 m_expected = 0;
    quint64 m_received = 0;
    bool m_announced = false;
    Callbacks m_callbacks;
};
