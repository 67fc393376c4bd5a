#pragma once

// NSS's headers name a struct member "slots", which Qt defines as a keyword macro; include
// them through here, after any Qt header.
#pragma push_macro("slots")
#undef slots
#include <cert.h>
#include <certdb.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secerr.h>
#pragma pop_macro("slots")
