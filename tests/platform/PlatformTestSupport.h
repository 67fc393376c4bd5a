#pragma once

#include "platform/Diagnostics.h"
#include "platform/ExtensionProcess.h"

#include "PrivateBus.h"
#include "TestEnvironment.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <csignal>
#include <mutex>

namespace PlatformTest {

// Collects what the platform layer reports while it lives.
class DiagnosticsCapture
{
public:
    DiagnosticsCapture()
    {
        Diagnostics::setSink([this](const QString& line) {
            std::lock_guard lock(m_mutex);
            m_lines.append(line);
        });
    }
    ~DiagnosticsCapture() { Diagnostics::setSink({}); }
    QStringList lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    int count(const QString& fragment) const
    {
        int n = 0;
        for (const QString& line : lines())
            n += line.contains(fragment) ? 1 : 0;
        return n;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

inline QByteArray plist(const QString& body)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n") + body +
            QStringLiteral("</dict></plist>\n"))
        .toUtf8();
}

inline QString key(const QString& name, const QString& value)
{
    return QStringLiteral("<key>%1</key><string>%2</string>\n").arg(name, value);
}

// An application bundle in the test's folder; returns its path.
inline QString makeMainBundle()
{
    const QString path = TestEnvironment::root() + QStringLiteral("/Test.app");
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"),
                               plist(key(QStringLiteral("CFBundleIdentifier"), QStringLiteral("org.norvane.test"))));
    return path;
}

// An extension bundle inside the main bundle whose executable is the shell script.
inline QString makeExtensionBundle(const QString& mainBundle, const QString& identifier, const QString& shortVersion,
                                   const QString& version, const QByteArray& script, bool networkExtension = true)
{
    const QString path = mainBundle + QStringLiteral("/Contents/Library/SystemExtensions/") + identifier +
                         QStringLiteral(".systemextension");
    QString body = key(QStringLiteral("CFBundleIdentifier"), identifier) + key(QStringLiteral("CFBundleExecutable"), identifier) +
                   key(QStringLiteral("CFBundleShortVersionString"), shortVersion) + key(QStringLiteral("CFBundleVersion"), version);
    if (networkExtension)
        body += QStringLiteral("<key>NetworkExtension</key><dict>") + key(QStringLiteral("NEMachServiceName"), identifier) +
                QStringLiteral("</dict>\n");
    TestEnvironment::writeFile(path + QStringLiteral("/Contents/Info.plist"), plist(body));
    const QString executable = path + QStringLiteral("/Contents/MacOS/") + identifier;
    TestEnvironment::writeFile(executable, "#!/bin/sh\n" + script);
    QFile::setPermissions(executable, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

inline bool isGone(qint64 pid)
{
    return !ExtensionProcess::processStartTime(pid).has_value();
}

// Extensions outlive whoever started them: tests stop theirs.
inline void reap(const QString& identifier)
{
    const ExtensionProcess process(identifier);
    if (const auto pid = process.runningProcessId()) {
        ::kill(pid_t(*pid), SIGKILL);
        if (!QTest::qWaitFor([&] { return isGone(*pid); }, 5000))
            qWarning("extension %lld outlived SIGKILL", *pid);
    }
}

} // namespace PlatformTest
