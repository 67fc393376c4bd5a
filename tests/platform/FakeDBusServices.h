#pragma once

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QStringList>
#include <QUrl>

// logind's manager object as far as the program uses it.
class FakeLogin1 : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QList<bool> rebootCalls;

public slots:
    void Reboot(bool interactive) { rebootCalls.append(interactive); }
};

// A file manager implementing org.freedesktop.FileManager1.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shownItems;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        shownItems.append(uris);
    }
};

// Receives what QDesktopServices would open (see QDesktopServices::setUrlHandler).
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl& url) { urls.append(url); }
};
