#pragma once

#include "core/ServerConfiguaration.h"

#include <QDateTime>
#include <QJsonObject>

// The session the stand-in hands out when no user-data file is given: the management-server
// stand-in's demo account with a policy that exercises every page of the application.
namespace DemoSession {

inline constexpr const char* authToken = "demo-token-0001";
inline constexpr const char* userEmail = "demo@norvane.org";
// The relaxed policy asks for a passcode; the stand-in grants it for this one.
inline constexpr const char* relaxedPolicyPasscode = "2468";

// Today is restricted for the two hours around now and tomorrow has a lunch break, so the
// time restrictions page has something to show whenever the demo runs. The self-moderation
// list ends with the sites the account added on the management-server stand-in.
ServerConfiguaration userConfig(const QDateTime& now = QDateTime::currentDateTime());
// The eight keys of the session's JSON form, dated from now.
QJsonObject session(const QDateTime& now = QDateTime::currentDateTime());

} // namespace DemoSession
