// The launcher's own version text. Each executable links its own copy of this file, so a
// test build can carry another version without a second build of everything else.
#include "resources/resource_ids.h"
#include "update/update_manifest.h"

#define HOLLOWMERE_WIDEN2(x) L##x
#define HOLLOWMERE_WIDEN(x) HOLLOWMERE_WIDEN2(x)

extern const wchar_t kLauncherVersion[] = HOLLOWMERE_WIDEN(HOLLOWMERE_VERSION_TEXT);
