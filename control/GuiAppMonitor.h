#pragma once

#include <QString>

#include <optional>

// The product's launch agent in the console user's GUI session: enabled and bootstrapped at
// start, unloaded, booted out and disabled for every user when the application quits for good.
class GuiAppMonitor
{
public:
    GuiAppMonitor() = delete;

    static std::optional<QString> getConsoleUserName();
    static std::optional<int> getConsoleUserId();
    static void setupLaunchCtl();
    static void stopLaunchCtl();

    static constexpr const char* label = "org.norvane.filter.mac";
    static constexpr const char* plistPath = "/Library/LaunchAgents/launch_nrvm.plist";
};
