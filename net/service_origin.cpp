// The service origin. Each executable links its own copy of this file, so a test build
// can talk to another origin without a second build of everything else.
#include "net/service_interface.h"

#ifndef HOLLOWMERE_SERVICE_ORIGIN_TEXT
#error "HOLLOWMERE_SERVICE_ORIGIN_TEXT must name the service origin, for example L\"https://host\""
#endif

extern const wchar_t kServiceOrigin[] = HOLLOWMERE_SERVICE_ORIGIN_TEXT;
