#include "update/update_manifest.h"

#include "net/http_requests.h"
#include "net/service_interface.h"
#include "update/manifest_rules.h"

namespace {

// The one process-wide copy; only the window's thread touches it.
struct ManifestState {
    UpdateManifest manifest;
    bool loaded = false;
};

ManifestState& State() {
    static ManifestState state;
    return state;
}

}  // namespace

bool FetchUpdateManifest(UpdateManifest& manifest, std::wstring& message) {
    std::string document;
    if (!HttpGetToMemory(ServiceUrl(kManifestPath), document, message)) return false;
    return ReadUpdateManifest(document, manifest, message);
}

void AcceptManifest(const UpdateManifest& manifest, bool loaded) {
    ManifestState& state = State();
    state.loaded = loaded;
    if (loaded) state.manifest = manifest;
}

const UpdateManifest& CurrentManifest() { return State().manifest; }

bool IsManifestLoaded() { return State().loaded; }
