#pragma once

#include <QString>

// The outcome of one filter test, as a row of the filter tests page shows it.
struct FilterTestResult
{
    bool passed = false;
    QString testName;
    QString testMessage;

    bool operator==(const FilterTestResult&) const = default;
};
