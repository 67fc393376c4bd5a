#include "control/GuiAppMonitor.h"

#include "core/Device.h"
#include "core/Log.h"
#include "platform/CommandRunner.h"

#include <QStringList>

namespace {

QString trimmedLineFeeds(QString text)
{
    while (text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

// Boots the agent out of (or disables it in) the GUI session of every real account. Only
// names made of the characters account names may hold reach the command line that bash
// runs, so a crafted account name cannot run code.
QString forEveryUser(const QString& verb)
{
    return QStringLiteral("dscl . -list /Users UniqueID | grep -v \"^_\" | awk '$2>1 && $1 ~ /^[A-Za-z0-9][A-Za-z0-9._-]*$/"
                          "{print \"sudo -u \" $1 \" launchctl %1 gui/\" $2 \"/org.norvane.filter.mac\"}'  | xargs -I{} bash -c \"{}\"")
        .arg(verb);
}

} // namespace

std::optional<QString> GuiAppMonitor::getConsoleUserName()
{
    const QString output = runConsoleCommand(QStringLiteral("stat -f '%u %Su' /dev/console"), true);
    const QStringList pieces = output.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (pieces.size() < 2) {
        log(QStringLiteral("GuiAppMonitor getCurrentUserSession can't get user id"));
        return std::nullopt;
    }
    return trimmedLineFeeds(pieces.at(1));
}

std::optional<int> GuiAppMonitor::getConsoleUserId()
{
    const auto name = getConsoleUserName();
    if (!name)
        return std::nullopt;
    // The name is quoted as one word whatever it holds.
    const QString output = runConsoleCommand(QStringLiteral("id -u ") + shellQuoted(*name), true);
    bool ok = false;
    const int uid = trimmedLineFeeds(output).toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return uid;
}

void GuiAppMonitor::setupLaunchCtl()
{
    const auto uid = getConsoleUserId();
    if (!uid)
        return;
    runConsoleCommand(QStringLiteral("launchctl enable gui/%1/org.norvane.filter.mac && launchctl bootstrap gui/%1 "
                                     "/Library/LaunchAgents/launch_nrvm.plist")
                          .arg(*uid),
                      true);
    log(QStringLiteral("GuiAppMonitor setupLaunchCtl"));
}

void GuiAppMonitor::stopLaunchCtl()
{
    runConsoleCommand(QStringLiteral("launchctl unload -w /Library/LaunchAgents/launch_nrvm.plist"), true);
    runConsoleCommand(forEveryUser(QStringLiteral("bootout")), true);
    runConsoleCommand(forEveryUser(QStringLiteral("disable")), true);
    log(QStringLiteral("GuiAppMonitor stopLaunchCtl"));
}
