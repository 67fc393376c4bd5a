#pragma once

#include <QMetaType>
#include <QString>

#include <array>
#include <optional>

// The pages of the main window; the raw value is the page title.
enum class MainViewTabs
{
    blockHistory,
    myBlockedSites,
    timeRestrictions,
    relaxedPolicy,
    advanced,
    filterTest,
    helpAndSupport,
};

// In sidebar order.
const std::array<MainViewTabs, 7>& allMainViewTabs();
QString rawValue(MainViewTabs tab);
// Nothing for a text that is none of the titles.
std::optional<MainViewTabs> mainViewTabsFromRawValue(const QString& text);

Q_DECLARE_METATYPE(std::optional<MainViewTabs>)
