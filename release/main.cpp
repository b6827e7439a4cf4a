// hollowmere-release: the publisher's tool. "manifest" makes the update manifest from
// the files; "check" reads a live service as every launcher will.
#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "release_commands.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  hollowmere-release manifest --client PACKAGE.zip --client-version VERSION --client-url URL\n"
    "                              --launcher HollowmereLauncher.exe --launcher-url URL [--output manifest.json]\n"
    "  hollowmere-release check ORIGIN [--quick] [--ca-file AUTHORITIES.pem]\n"
    "  hollowmere-release diff OLD.zip NEW.zip\n"
    "\n"
    "manifest  writes the update manifest from the files: their sizes and SHA-256 digests, and the\n"
    "          launcher version from the executable's version resource.\n"
    "check     fetches ORIGIN/download/sarnhold/manifest.json as the launcher does and checks everything\n"
    "          it names; exit 0 only when every launcher would install and update cleanly.\n"
    "          --quick skips reading the whole package (its digest is then not checked).\n"
    "          --ca-file trusts these authorities instead of the system's.\n"
    "diff      what an update from OLD.zip to NEW.zip costs each player whose launcher keeps OLD.zip:\n"
    "          bytes and range requests fetched, bytes reused, entries packed again.\n";

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "hollowmere-release: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage(nullptr);
    const std::string command = argv[1];
    if (command == "diff") return argc == 4 ? RunDiffCommand(argv[2], argv[3]) : Usage("diff needs OLD.zip and NEW.zip");
    std::map<std::string, std::string> options;
    std::string origin;
    bool quick = false;
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--quick") {
            quick = true;
        } else if (word.compare(0, 2, "--") == 0) {
            if (i + 1 >= argc) return Usage((word + " needs a value").c_str());
            options[word] = argv[++i];
        } else if (origin.empty() && command == "check") {
            origin = word;
        } else {
            return Usage(("unexpected argument " + word).c_str());
        }
    }
    const auto take = [&options](const char* name, std::string& value) {
        const auto found = options.find(name);
        if (found == options.end()) return false;
        value = found->second;
        options.erase(found);
        return true;
    };

    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = 2;
    if (command == "manifest" && !quick) {
        ManifestArguments arguments;
        take("--output", arguments.output);
        if (!take("--client", arguments.client) || !take("--client-version", arguments.clientVersion) ||
            !take("--client-url", arguments.clientUrl) || !take("--launcher", arguments.launcher) ||
            !take("--launcher-url", arguments.launcherUrl))
            status = Usage("manifest needs --client, --client-version, --client-url, --launcher and --launcher-url");
        else if (!options.empty())
            status = Usage(("unknown option " + options.begin()->first).c_str());
        else
            status = RunManifestCommand(arguments);
    } else if (command == "check" && !origin.empty()) {
        CheckArguments arguments;
        arguments.origin = origin;
        arguments.quick = quick;
        take("--ca-file", arguments.caFile);
        status = options.empty() ? RunCheckCommand(arguments)
                                 : Usage(("unknown option " + options.begin()->first).c_str());
    } else {
        status = Usage(command == "check" ? "check needs the service's origin, e.g. https://service.hollowmere.net"
                                          : nullptr);
    }
    curl_global_cleanup();
    return status;
}
