#pragma once

#include "Router.h"

#include <httplib.h>

#include <mutex>
#include <string>

// The filter test host's page, served at "/": a small HTML page carrying the filter-test
// marker (the program's deployment setting), as it reads when the filter let the request
// through. Tests set its status and whether the marker is there:
//   POST /__peer/filter-test   {"status": N, "marker": true|false}   (keys left out keep their value)
class FilterTestPage
{
public:
    // The admin route goes on the server (before the router's catch-all), the page on the router.
    void install(httplib::Server& server, Router& router);

    std::string body(bool withMarker) const;

private:
    std::mutex m_mutex;
    int m_status = 200;
    bool m_withMarker = true;
};
