#include "core/MainViewTabs.h"

const std::array<MainViewTabs, 7>& allMainViewTabs()
{
    static constexpr std::array<MainViewTabs, 7> tabs{
        MainViewTabs::blockHistory,  MainViewTabs::myBlockedSites, MainViewTabs::timeRestrictions,
        MainViewTabs::relaxedPolicy, MainViewTabs::advanced,       MainViewTabs::filterTest,
        MainViewTabs::helpAndSupport};
    return tabs;
}

QString rawValue(MainViewTabs tab)
{
    switch (tab) {
    case MainViewTabs::blockHistory:
        return QStringLiteral("Block History");
    case MainViewTabs::myBlockedSites:
        return QStringLiteral("My Blocked Sites");
    case MainViewTabs::timeRestrictions:
        return QStringLiteral("Time Restrictions");
    case MainViewTabs::relaxedPolicy:
        return QStringLiteral("Relaxed Policy");
    case MainViewTabs::advanced:
        return QStringLiteral("Advanced");
    case MainViewTabs::filterTest:
        return QStringLiteral("Filter Test");
    case MainViewTabs::helpAndSupport:
        return QStringLiteral("Help & Support");
    }
    return {};
}

std::optional<MainViewTabs> mainViewTabsFromRawValue(const QString& text)
{
    for (const MainViewTabs tab : allMainViewTabs()) {
        if (rawValue(tab) == text)
            return tab;
    }
    return std::nullopt;
}
