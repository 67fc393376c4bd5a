#include "platform/UpdateInstallation.h"

#include "platform/BundleInstaller.h"
#include "platform/Ed25519Verifier.h"
#include "platform/UpdateArchiveExtractor.h"
#include "platform/UpdateDownloader.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace {

QString archiveFileName(const AppcastItem& item)
{
    const QString path = item.fileURL.path().toLower();
    for (const char* suffix : {".tar.xz", ".txz", ".tar.gz", ".tgz", ".zip"})
        if (path.endsWith(QLatin1String(suffix)))
            return QStringLiteral("update") + QLatin1String(suffix);
    return QStringLiteral("update.archive");
}

// The one bundle folder at the top of the unpacked archive.
std::optional<QString> stagedBundle(const QString& staging, QString* problem)
{
    const QStringList bundles = QDir(staging).entryList({QStringLiteral("*.app")}, QDir::Dirs | QDir::NoDotAndDotDot);
    if (bundles.size() != 1) {
        *problem = bundles.isEmpty() ? QStringLiteral("The archive holds no application bundle.")
                                     : QStringLiteral("The archive holds more than one application bundle.");
        return std::nullopt;
    }
    const QString path = staging + QLatin1Char('/') + bundles.first();
    if (QFileInfo(path).isSymLink()) {
        *problem = QStringLiteral("The archive’s application bundle is a link.");
        return std::nullopt;
    }
    return path;
}

} // namespace

UpdateInstallation::UpdateInstallation(UpdateNetwork network, Bundle hostBundle, AppcastItem item,
                                       QString workDirectory, QObject* parent)
    : QObject(parent),
      m_network(std::move(network)),
      m_hostBundle(std::move(hostBundle)),
      m_item(std::move(item)),
      m_workDirectory(std::move(workDirectory))
{
}

UpdateInstallation::~UpdateInstallation()
{
    cancel();
    QDir(m_workDirectory).removeRecursively();
}

void UpdateInstallation::cancel()
{
    m_callbacks = {};
    *m_cancelled = true;
    if (m_downloader)
        m_downloader->cancel();
    if (m_worker.joinable())
        m_worker.join();
}

void UpdateInstallation::prepare(Callbacks callbacks)
{
    m_callbacks = std::move(callbacks);
    m_archivePath = m_workDirectory + QLatin1Char('/') + archiveFileName(m_item);
    if (!QDir().mkpath(m_workDirectory + QStringLiteral("/staging"))) {
        const UpdateError error(UpdateError::TemporaryDirectoryError,
                                QStringLiteral("The folder %1 for the download cannot be created.").arg(m_workDirectory));
        post([this, error] {
            if (m_callbacks.prepared)
                m_callbacks.prepared(error);
        });
        return;
    }

    m_downloader = std::make_unique<UpdateDownloader>(m_network);
    UpdateDownloader::Callbacks download;
    download.expectedLength = [this](quint64 length) {
        if (m_callbacks.expectedLength)
            m_callbacks.expectedLength(length);
    };
    download.received = [this](quint64 length) {
        if (m_callbacks.received)
            m_callbacks.received(length);
    };
    download.finished = [this](const UpdateError& error) { downloaded(error); };
    m_downloader->download(m_item.fileURL, m_archivePath, m_item.contentLength, std::move(download));
}

void UpdateInstallation::downloaded(const UpdateError& error)
{
    if (error.code != 0) {
        if (auto prepared = m_callbacks.prepared)
            prepared(error);
        return;
    }
    if (m_callbacks.extractionStarted)
        m_callbacks.extractionStarted();
    if (*m_cancelled)
        return;
    m_worker = std::thread([this] { checkAndUnpack(); });
}

// On the worker thread: nothing here touches the callbacks; results go to the main thread.
void UpdateInstallation::checkAndUnpack()
{
    const auto finish = [this](const UpdateError& error, const QString& staged) {
        post([this, error, staged] {
            if (error.code == 0) {
                m_stagedBundlePath = staged;
                m_prepared = true;
            }
            if (auto prepared = m_callbacks.prepared)
                prepared(error);
        });
    };

    const std::optional<QString> keyText = m_hostBundle.string(QStringLiteral("SUPublicEDKey"));
    if (!keyText || keyText->trimmed().isEmpty())
        return finish(UpdateError(UpdateError::NoPublicKeyError,
                                  QStringLiteral("The update cannot be checked: the installed version has no public key "
                                                 "(SUPublicEDKey), so no update is accepted.")),
                      {});
    const std::optional<QByteArray> key = Ed25519Verifier::decodePublicKey(*keyText);
    if (!key)
        return finish(UpdateError(UpdateError::NoPublicKeyError,
                                  QStringLiteral("The installed version’s public key (SUPublicEDKey) is not valid.")),
                      {});
    if (m_item.edSignature.isEmpty())
        return finish(UpdateError(UpdateError::SignatureError,
                                  QStringLiteral("The update is not signed, so it was not installed.")),
                      {});
    const std::optional<QByteArray> signature = Ed25519Verifier::decodeSignature(m_item.edSignature);
    if (!signature)
        return finish(UpdateError(UpdateError::SignatureError,
                                  QStringLiteral("The update’s signature is malformed, so it was not installed.")),
                      {});
    QString problem;
    if (!Ed25519Verifier::verifyFile(m_archivePath, *key, *signature, &problem))
        return finish(UpdateError(UpdateError::SignatureError,
                                  QStringLiteral("The update is not signed by the publisher of this program, so it was "
                                                 "not installed. %1")
                                      .arg(problem)),
                      {});

    const QString staging = m_workDirectory + QStringLiteral("/staging");
    const auto progress = [this](double value) {
        post([this, value] {
            if (m_callbacks.extractionProgress)
                m_callbacks.extractionProgress(value);
        });
    };
    if (!UpdateArchiveExtractor::extract(m_archivePath, staging, progress, *m_cancelled, &problem))
        return finish(UpdateError(UpdateError::UnarchivingError, problem), {});
    QFile::remove(m_archivePath);

    const std::optional<QString> bundlePath = stagedBundle(staging, &problem);
    if (!bundlePath)
        return finish(UpdateError(UpdateError::ValidationError, problem), {});
    const Bundle staged(*bundlePath);
    const QString version = staged.string(QStringLiteral("CFBundleVersion")).value_or(QString());
    if (version != m_item.versionString)
        return finish(UpdateError(UpdateError::ValidationError,
                                  QStringLiteral("The downloaded program is version “%1”, not the offered %2, so it was "
                                                 "not installed.")
                                      .arg(version, m_item.versionString)),
                      {});
    if (staged.bundleIdentifier() != m_hostBundle.bundleIdentifier())
        return finish(UpdateError(UpdateError::ValidationError,
                                  QStringLiteral("The downloaded program is “%1”, not this program, so it was not installed.")
                                      .arg(staged.bundleIdentifier())),
                      {});
    if (!QFileInfo(staged.executablePath()).isExecutable())
        return finish(UpdateError(UpdateError::ValidationError,
                                  QStringLiteral("The downloaded program has no executable, so it was not installed.")),
                      {});
    finish(UpdateError(), *bundlePath);
}

void UpdateInstallation::post(std::function<void()> block)
{
    QMetaObject::invokeMethod(this, std::move(block), Qt::QueuedConnection);
}

UpdateError UpdateInstallation::install()
{
    if (!m_prepared)
        return UpdateError(UpdateError::MissingUpdateError, QStringLiteral("There is no prepared update to install."));
    m_prepared = false;
    QString problem;
    if (!BundleInstaller().install(m_stagedBundlePath, m_hostBundle.bundlePath(), &problem))
        return UpdateError(UpdateError::InstallationError, problem);
    return UpdateError();
}
