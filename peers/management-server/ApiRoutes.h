#pragma once

#include "DemoAccounts.h"
#include "Router.h"

// The default answers of the five API endpoints under /Velmora/api/v2/, played against
// the demo accounts. Tests script other answers per path.
namespace ApiRoutes {
constexpr const char* basePath = "/Velmora/api/v2/";
void install(Router& router, DemoAccounts& accounts);
} // namespace ApiRoutes
