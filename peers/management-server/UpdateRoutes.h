#pragma once

#include "Router.h"
#include "UpdateFeed.h"

#include <httplib.h>

// The update feed and its archives:
//   GET  /Velmora/update/macos/update.xml   the appcast of UpdateFeed (query recorded)
//   GET  /Velmora/update/files/<name>       an archive registered under that name, streamed
// and their admin API:
//   POST /__peer/update/feed   {"items": [...], "padding": N} (see UpdateFeed::setItems)
//   POST /__peer/update/file   {"name", "path", "truncateAt"}
//   POST /__peer/update/reset  no feed items, no files
// Status codes and other answers are scripted for these paths like any other.
namespace UpdateRoutes {
constexpr const char* feedPath = "/Velmora/update/macos/update.xml";
constexpr const char* filesPath = "/Velmora/update/files/";
void install(httplib::Server& server, Router& router, UpdateFeed& feed);
} // namespace UpdateRoutes
