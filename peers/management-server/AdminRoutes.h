#pragma once

#include "AnswerScript.h"
#include "DemoAccounts.h"
#include "RecordedRequests.h"

#include <httplib.h>

// The peer's own API for tests, under /__peer/:
//   POST /__peer/script    {"path", "once", + ScriptedAnswer fields}: script an answer;
//                          a path without a leading "/" is taken under /Velmora/api/v2/
//   GET  /__peer/requests  the recorded requests (RecordedRequests::toJson)
//   POST /__peer/reset     forget scripts, records, tokens handed out and pending sign-ins
//   POST /__peer/account   {"email", "password", "token"}: add an account
namespace AdminRoutes {
void install(httplib::Server& server, AnswerScript& script, RecordedRequests& records,
             DemoAccounts& accounts);
} // namespace AdminRoutes
