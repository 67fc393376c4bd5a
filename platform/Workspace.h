#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>

class QLockFile;
class QWidget;
class ReopenChannel;

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

    // Hides the application's windows and dialogs; with minimize, minimises them instead
    // (for a desktop without a tray, where nothing could show a hidden window again). The
    // status item is no window of ours, even where it is one (an XEmbed tray icon).
    void hideApplication(HideStyle style = HideStyle::hide);
    // Whether hideApplication hides or minimises this top-level widget.
    static bool isApplicationWindow(const QWidget* widget);
    // Shows the window above the others and gives it the keyboard focus (a window brought
    // forward without focus can't be used from the keyboard).
    static void orderFrontRegardless(QWidget* window);

    // Opens the URL with the user's default handler.
    bool open(const QUrl& url);
    // Shows the files selected in the file manager (FileManager1 over the session bus),
    // or opens the folder of the first one where no file manager answers.
    void activateFileViewerSelectingURLs(const QList<QUrl>& urls);

    // True when another live process holds the instance lock of this bundle identifier; it
    // is then asked to bring its window forward (reopenRequested there). Otherwise this
    // process takes the lock (<runtime directory>/<identifier>.lock), keeps it for its
    // lifetime and listens for such requests (<identifier>.reopen beside it).
    bool isAlreadyRunning(const QString& bundleIdentifier);

    // Starts listening for logind's PrepareForSleep on the system bus; didWake follows
    // each resume. Without a system bus this logs once and does nothing.
    void startWakeNotifications();

signals:
    void didWake();
    // A second start of the program asked this one to show itself.
    void reopenRequested();

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    Workspace();

    std::unique_ptr<QLockFile> m_instanceLock;
    ReopenChannel* m_reopenChannel = nullptr;
    bool m_wakeStarted = false;
};
