#pragma once

#include "platform/AppcastItem.h"
#include "platform/Bundle.h"
#include "platform/UpdateError.h"
#include "platform/UpdateNetwork.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class UpdateDownloader;

// One offered update on its way in: downloaded into a work folder under the cache folder,
// its signature checked against the host bundle's public key, unpacked into a staging
// folder and its version checked; then, on request, swapped in for the host bundle.
// Nothing of the installed bundle changes before install(), and install() leaves either the
// new or the old bundle in place. The work folder is removed with the object.
//
// Lives on the main thread; the checking and unpacking run on a worker thread, and every
// callback runs on the main thread, none after cancel().
class UpdateInstallation : public QObject
{
public:
    struct Callbacks
    {
        std::function<void(quint64 expectedLength)> expectedLength;
        std::function<void(quint64 length)> received;
        std::function<void()> extractionStarted;
        std::function<void(double progress)> extractionProgress;
        std::function<void(const UpdateError& error)> prepared; // code 0: ready to install
    };

    UpdateInstallation(UpdateNetwork network, Bundle hostBundle, AppcastItem item, QString workDirectory,
                       QObject* parent = nullptr);
    ~UpdateInstallation() override;

    void prepare(Callbacks callbacks);
    void cancel();

    const AppcastItem& item() const { return m_item; }
    bool isPrepared() const { return m_prepared; }
    // Replaces the host bundle with the staged one; only after a successful preparation.
    UpdateError install();

private:
    void downloaded(const UpdateError& error);
    void checkAndUnpack();
    void post(std::function<void()> block);

    UpdateNetwork m_network;
    Bundle m_hostBundle;
    AppcastItem m_item;
    QString m_workDirectory;
    QString m_archivePath;
    QString m_stagedBundlePath;
    Callbacks m_callbacks;
    std::unique_ptr<UpdateDownloader> m_downloader;
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    bool m_prepared = false;
};
