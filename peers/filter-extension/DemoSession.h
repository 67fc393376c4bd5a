#pragma once

#include "core/ServerConfiguaration.h"

#include <QDateTime>
#include <QJsonObject>

// The session the stand-in hands out when no user-data file is given: the management-server
// stand-in's demo account with a policy that exercises every page of the application.
namespace DemoSession {

inline constexpr const char* authToken = "demo-token-0001";
inline constexpr const char* userEmail = "demo@norvane.org";

ServerConfiguaration userConfig();
// The eight keys of the session's JSON form, dated from now.
QJsonObject session(const QDateTime& now = QDateTime::currentDateTime());

} // namespace DemoSession
