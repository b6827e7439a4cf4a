// "diff": the publisher's view of an update, as the launchers that keep the old package
// will fetch it.
#include <cstdio>
#include <string>
#include <vector>

#include "install/package_contents.h"
#include "install/package_plan.h"
#include "release_commands.h"

namespace {

// 1234567 as "1,234,567".
std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value), text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
        text.push_back(digits[i]);
    }
    return text;
}

bool Read(const std::string& path, std::vector<ZipDirectoryEntry>& entries, ZipDirectoryPlace& place,
          std::uint64_t& size) {
    std::string problem;
    if (ReadPackageFileDirectory(path, entries, problem, &place, &size)) return true;
    std::fprintf(stderr, "hollowmere-release: %s is %s\n", path.c_str(), problem.c_str());
    return false;
}

}  // namespace

int RunDiffCommand(const std::string& oldPackage, const std::string& newPackage) {
    std::vector<ZipDirectoryEntry> kept, fresh;
    ZipDirectoryPlace keptPlace, freshPlace;
    std::uint64_t keptSize = 0, freshSize = 0;
    if (!Read(oldPackage, kept, keptPlace, keptSize) || !Read(newPackage, fresh, freshPlace, freshSize)) return 1;
    PackagePlan plan;
    std::string problem;
    if (!PlanPackageFromKept(kept, keptPlace, fresh, freshPlace, freshSize, plan, problem)) {
        std::printf("Every launcher downloads %s whole (%s bytes): %s.\n", newPackage.c_str(),
                    Grouped(freshSize).c_str(), problem.c_str());
        return 1;
    }
    std::printf("Update from %s to %s, per player that keeps the old package:\n", oldPackage.c_str(),
                newPackage.c_str());
    std::printf("fetched: %s bytes in %s range request%s (%s changed or added entries, and the directory)\n",
                Grouped(plan.fetchedBytes).c_str(), Grouped(plan.requests).c_str(), plan.requests == 1 ? "" : "s",
                Grouped(plan.fetchedEntries).c_str());
    std::printf("reused:  %s bytes of the old package\n", Grouped(plan.reusedBytes).c_str());
    std::printf("repacked: %s entries hold the same content in other compressed bytes\n",
                Grouped(plan.repacked.size()).c_str());
    for (std::size_t i = 0; i < plan.repacked.size() && i < 10; ++i)
        std::printf("  %s\n", PrintableEntryName(plan.repacked[i]).c_str());
    if (plan.repacked.size() > 10) std::printf("  and %s more\n", Grouped(plan.repacked.size() - 10).c_str());
    if (plan.reusedBytes == 0 && !plan.repacked.empty())
        std::printf("Nothing is reused: the package was packed again with other settings. Pack it as the old one was, "
                    "or every player downloads it whole.\n");
    return 0;
}
