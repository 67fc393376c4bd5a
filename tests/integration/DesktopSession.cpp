#include "DesktopSession.h"

#include <QTest>

namespace {

QString& lastDriverError()
{
    static QString text;
    return text;
}

// One line from the process's output, once it comes.
QString firstLine(QProcess& process, int milliseconds)
{
    QByteArray line;
    (void)QTest::qWaitFor(
        [&] {
            if (process.state() == QProcess::NotRunning)
                return true;
            process.waitForReadyRead(50);
            line += process.readAllStandardOutput();
            return line.contains('\n');
        },
        milliseconds);
    return QString::fromUtf8(line).section(QLatin1Char('\n'), 0, 0).trimmed();
}

void end(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool runDriver(const DesktopSession& desktop, const QStringList& arguments, std::chrono::seconds timeout)
{
    QProcess driver;
    driver.setProcessEnvironment(desktop.environment());
    driver.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(NORVANE_SOURCE_DIR "/tests/integration/atspi_driver.py")} + arguments +
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

DesktopSession::DesktopSession()
{
    // The display picks a free number and writes it to its output.
    m_display.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp")});
    if (!m_display.waitForStarted(10000))
        return;
    const QString number = firstLine(m_display, 20000);
    if (number.isEmpty())
        return;
    m_displayName = QLatin1Char(':') + number;

    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(10000))
        return;
    m_busAddress = firstLine(m_bus, 20000);
}

DesktopSession::~DesktopSession()
{
    end(m_bus);
    end(m_display);
}

bool DesktopSession::isRunning() const
{
    return !m_displayName.isEmpty() && !m_busAddress.isEmpty() && m_display.state() == QProcess::Running &&
           m_bus.state() == QProcess::Running;
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_displayName);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    return environment;
}

namespace AccessibleDriver {

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

QString dump(const DesktopSession& desktop, qint64 pid)
{
    QProcess driver;
    driver.setProcessEnvironment(desktop.environment());
    driver.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(NORVANE_SOURCE_DIR "/tests/integration/atspi_driver.py"), QStringLiteral("--pid"),
                  QString::number(pid), QStringLiteral("dump")});
    driver.waitForFinished(60000);
    return QString::fromUtf8(driver.readAllStandardOutput());
}

QString lastError()
{
    return lastDriverError();
}

} // namespace AccessibleDriver
