#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

class QLockFile;
class QWidget;

// The desktop session: hiding the application, bringing a window to the front, opening
// URLs and revealing files, the single running instance, and the wake-from-sleep notice.
// Main thread only.
class Workspace : public QObject
{
    Q_OBJECT
public:
    enum class HideStyle { hide, minimize };

    static Workspace& shared();
    ~Workspace() override;

    // Hides every window of the application; with minimize, minimises them instead (for a
    // desktop without a tray, where nothing could show a hidden window again).
    void hideApplication(HideStyle style = HideStyle::hide);
    // Shows the window above the others without giving it the keyboard focus.
    static void orderFrontRegardless(QWidget* window);

    // Opens the URL with the user's default handler.
    bool open(const QUrl& url);
    // Shows the files selected in the file manager (FileManager1 over the session bus),
    // or opens the folder of the first one where no file manager answers.
    void activateFileViewerSelectingURLs(const QList<QUrl>& urls);

    // True when another live process holds the instance lock of this bundle identifier;
    // otherwise this process takes the lock (<runtime directory>/<identifier>.lock) and
    // keeps it for its lifetime.
    bool isAlreadyRunning(const QString& bundleIdentifier);

    // Starts listening for logind's PrepareForSleep on the system bus; didWake follows
    // each resume. Without a system bus this logs once and does nothing.
    void startWakeNotifications();

signals:
    void didWake();

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    Workspace();

    std::unique_ptr<QLockFile> m_instanceLock;
    bool m_wakeStarted = false;
};
