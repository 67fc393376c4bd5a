#include "DesktopSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {
constexpr int startTimeoutMs = 60000;
constexpr int stopTimeoutMs = 10000;

// Reads the process's output until a whole line came; that line, trimmed.
std::optional<QString> firstLine(QProcess& process, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QByteArray buffer;
    while (!deadline.hasExpired()) {
        buffer += process.readAllStandardOutput();
        const qsizetype end = buffer.indexOf('\n');
        if (end >= 0)
            return QString::fromLocal8Bit(buffer.left(end)).trimmed();
        if (process.state() != QProcess::Running)
            return std::nullopt;
        process.waitForReadyRead(200);
    }
    return std::nullopt;
}
} // namespace

std::optional<QString> DesktopSession::missingProgram(const QStringList& programs)
{
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program;
    return std::nullopt;
}

DesktopSession::DesktopSession() = default;

DesktopSession::~DesktopSession()
{
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        stop(*it);
}

QProcess* DesktopSession::launch(const QString& name, const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(name, process->errorString());
        return nullptr;
    }
    m_children.push_back({name, std::move(process)});
    return m_children.back().process.get();
}

void DesktopSession::stop(Child& child)
{
    QProcess& process = *child.process;
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (process.waitForFinished(stopTimeoutMs))
        return;
    ADD_FAILURE() << child.name.toStdString() << " did not stop on SIGTERM and had to be killed";
    process.kill();
    process.waitForFinished(stopTimeoutMs);
}

bool DesktopSession::start(const QSize& screen)
{
    // -displayfd 1: Xvfb picks a free display and writes its number on standard output.
    QProcess* xvfb = launch(QStringLiteral("Xvfb"), QStringLiteral("Xvfb"),
                            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp")});
    if (!xvfb)
        return false;
    const auto number = firstLine(*xvfb, startTimeoutMs);
    if (!number || number->isEmpty()) {
        m_error = QStringLiteral("Xvfb gave no display number");
        return false;
    }
    m_display = QLatin1Char(':') + *number;
    if (!QTest::qWaitFor([this] { return canConnect(); }, startTimeoutMs)) {
        m_error = QStringLiteral("Xvfb on %1 takes no clients").arg(m_display);
        return false;
    }

    QProcess* bus = launch(QStringLiteral("dbus-daemon"), QStringLiteral("dbus-daemon"),
                           {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                            QStringLiteral("--print-address=1")});
    if (!bus)
        return false;
    const auto address = firstLine(*bus, startTimeoutMs);
    if (!address || address->isEmpty()) {
        m_error = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    m_busAddress = *address;
    return true;
}

bool DesktopSession::startWindowManager()
{
    if (!launch(QStringLiteral("openbox"), QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}))
        return false;
    // A window manager announces itself by taking the screen's WM_S0 selection, and then
    // lists what it can do; programs read that list when they connect.
    const auto ready = [this] {
        const auto supported = run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTED")});
        return selectionOwned(QStringLiteral("WM_S0")) && supported && supported->contains(QStringLiteral("_NET_WM_MOVERESIZE"));
    };
    if (!QTest::qWaitFor(ready, startTimeoutMs)) {
        m_error = QStringLiteral("openbox did not take the screen");
        return false;
    }
    return true;
}

bool DesktopSession::startTray()
{
    // trayer now and then gives up on a busy display before it owns the selection; a new
    // one is started in its place, a few times at most.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess* tray = launch(QStringLiteral("trayer"), QStringLiteral("trayer"),
                                {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                                 QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--height"),
                                 QStringLiteral("28"), QStringLiteral("--transparent"), QStringLiteral("false"),
                                 QStringLiteral("--tint"), QStringLiteral("0x404040")});
        if (!tray)
            return false;
        if (QTest::qWaitFor([this] { return selectionOwned(QStringLiteral("_NET_SYSTEM_TRAY_S0")); }, startTimeoutMs / 3))
            return true;
        stop(m_children.back());
        m_children.pop_back();
    }
    m_error = QStringLiteral("trayer did not take the tray selection");
    return false;
}

bool DesktopSession::stopTray()
{
    for (Child& child : m_children)
        if (child.name == QLatin1String("trayer"))
            stop(child);
    return QTest::qWaitFor([this] { return !selectionOwned(QStringLiteral("_NET_SYSTEM_TRAY_S0")); }, startTimeoutMs);
}

QProcessEnvironment DesktopSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("XAUTHORITY"));
    environment.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    return environment;
}

std::optional<QString> DesktopSession::run(const QString& program, const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool DesktopSession::canConnect() const
{
    xcb_connection_t* connection = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    const bool connected = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return connected;
}

bool DesktopSession::selectionOwned(const QString& selection) const
{
    xcb_connection_t* connection = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(connection)) {
        const QByteArray name = selection.toLatin1();
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t* owner =
                xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_NONE;
            std::free(owner);
            std::free(atom);
        }
    }
    xcb_disconnect(connection);
    return owned;
}

QString DesktopSession::describeWindows(const QString& windowClass) const
{
    QStringList lines;
    for (const QString& id : windowsOfClass(windowClass)) {
        const auto state = windowState(id);
        if (state)
            lines.append(QStringLiteral("%1 %2,%3 %4x%5 %6").arg(id).arg(state->geometry.x()).arg(state->geometry.y())
                             .arg(state->geometry.width()).arg(state->geometry.height())
                             .arg(state->viewable ? QStringLiteral("viewable") : QStringLiteral("not viewable")));
    }
    return lines.join(QLatin1Char('\n'));
}

QStringList DesktopSession::windowsOfClass(const QString& windowClass) const
{
    const auto output = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--class"),
                                                        QStringLiteral("^%1$").arg(QRegularExpression::escape(windowClass))});
    return output ? output->split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}

std::optional<DesktopSession::WindowState> DesktopSession::windowState(const QString& windowId) const
{
    const auto output = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), windowId});
    if (!output)
        return std::nullopt;
    const auto field = [&](const char* label) {
        const QRegularExpression expression(QStringLiteral("%1:\\s*(-?\\w+)").arg(QRegularExpression::escape(QString::fromLatin1(label))));
        return expression.match(*output).captured(1);
    };
    WindowState state;
    state.geometry = QRect(field("Absolute upper-left X").toInt(), field("Absolute upper-left Y").toInt(),
                           field("Width").toInt(), field("Height").toInt());
    state.viewable = field("Map State") == QLatin1String("IsViewable");
    return state;
}

bool DesktopSession::screenshot(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}).has_value();
}
