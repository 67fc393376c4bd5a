#pragma once

#include <QString>

// Version texts compared component by component as numbers: "1.10" is newer than "1.9",
// "1.2" equals "1.2.0". A component's leading digits count; a component without digits
// counts as 0.
namespace UpdateVersion {
int compare(const QString& left, const QString& right); // <0, 0, >0
inline bool isNewer(const QString& candidate, const QString& installed)
{
    return compare(candidate, installed) > 0;
}
} // namespace UpdateVersion
