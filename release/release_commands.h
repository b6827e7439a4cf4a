#pragma once
#include <string>

// The tool's two commands. Each prints its own report and returns the process's exit
// code: 0 done and sound, 1 a fault found (or the manifest refused), 2 bad arguments.

struct ManifestArguments {
    std::string client;  // the client package (zip archive)
    std::string clientVersion;
    std::string clientUrl;
    std::string launcher;  // the launcher executable
    std::string launcherUrl;
    std::string output = "manifest.json";
};
int RunManifestCommand(const ManifestArguments& arguments);

struct CheckArguments {
    std::string origin;  // scheme, host and optional port of the service
    bool quick = false;  // skip reading the whole package
    std::string caFile;
};
int RunCheckCommand(const CheckArguments& arguments);

// What an update from the old package to the new one costs each player whose launcher
// keeps the old one: bytes and requests fetched, bytes reused, and the entries packed
// again with the same content.
int RunDiffCommand(const std::string& oldPackage, const std::string& newPackage);
