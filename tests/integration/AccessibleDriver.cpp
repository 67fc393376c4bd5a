#include "AccessibleDriver.h"

#include <QTest>

namespace {

QString& lastDriverError()
{
    static QString text;
    return text;
}

bool runDriver(const DesktopSession& desktop, const QStringList& arguments, std::chrono::seconds timeout)
{
    QProcess driver;
    driver.setProcessEnvironment(desktop.environment());
    driver.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(NORVANE_SOURCE_DIR "/tests/integration/atspi_widgets.py")} + arguments +
                     QStringList{QStringLiteral("--timeout"), QString::number(timeout.count())});
    const bool finished = driver.waitForFinished(int(timeout.count() + 30) * 1000);
    lastDriverError() = QString::fromUtf8(driver.readAllStandardError());
    if (!finished) {
        driver.kill();
        driver.waitForFinished();
        return false;
    }
    return driver.exitStatus() == QProcess::NormalExit && driver.exitCode() == 0;
}

} // namespace

namespace AccessibleDriver {

QProcessEnvironment environment(const DesktopSession& desktop)
{
    QProcessEnvironment environment = desktop.environment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    return environment;
}

bool waitFor(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& name,
             std::chrono::seconds timeout)
{
    return runDriver(desktop,
                     {QStringLiteral("--pid"), QString::number(pid), QStringLiteral("wait"), QStringLiteral("--role"),
                      role, QStringLiteral("--name"), name},
                     timeout);
}

bool waitForNameContaining(const DesktopSession& desktop, qint64 pid, const QString& role, const QString& text,
                           std::chrono::seconds timeout)
{
    return runDriver(desktop,
                     {QStringLiteral("--pid"), QString::number(pid), QStringLiteral("wait"), QStringLiteral("--role"),
                      role, QStringLiteral("--name-contains"), text},
                     timeout);
}

bool press(const DesktopSession& desktop, qint64 pid, const QString& name, std::chrono::seconds timeout)
{
    return runDriver(desktop,
                     {QStringLiteral("--pid"), QString::number(pid), QStringLiteral("press"), QStringLiteral("--role"),
                      QStringLiteral("push button"), QStringLiteral("--name"), name},
                     timeout);
}

bool selectSidebarEntry(const DesktopSession& desktop, qint64 pid, const QString& name, std::chrono::seconds timeout)
{
    return runDriver(desktop,
                     {QStringLiteral("--pid"), QString::number(pid), QStringLiteral("press"), QStringLiteral("--role"),
                      QStringLiteral("list item"), QStringLiteral("--name"), name},
                     timeout);
}

QString dump(const DesktopSession& desktop, qint64 pid)
{
    QProcess driver;
    driver.setProcessEnvironment(desktop.environment());
    driver.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(NORVANE_SOURCE_DIR "/tests/integration/atspi_widgets.py"), QStringLiteral("--pid"),
                  QString::number(pid), QStringLiteral("dump")});
    driver.waitForFinished(60000);
    return QString::fromUtf8(driver.readAllStandardOutput());
}

QString lastError()
{
    return lastDriverError();
}

} // namespace AccessibleDriver
