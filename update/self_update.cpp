#include "update/self_update.h"

// Nothing is downloaded yet: until the hand-over to a newer launcher exists, the
// running launcher always carries on with itself.
bool SelfUpdateIfNewer(HWND window) { return false; }
