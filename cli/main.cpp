// pixhaven-cli: lists backups and reads manifests without a window, for scripts and bug reports.
#include <clocale>
#include <cstdio>
#include <string_view>
#include <vector>

#include "cli/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: pixhaven-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  list [--root DIR] [--json]   the backups with their device facts\n"
    "  manifest BACKUP_FOLDER       every file the backup's manifest lists\n"
    "  scan BACKUP_FOLDER [--json] [--password-file FILE]\n"
    "                               the backup's media, sorted into the thirteen groups\n"
    "  recover BACKUP_FOLDER --to DIR [--group INDEX]... [--password-file FILE]\n"
    "                               copies the media of the groups (all by default) out\n"
    "\n"
    "An encrypted backup opens with its password, read from the first line of FILE (- reads\n"
    "standard input); it is never taken from the command line.\n";

}  // namespace

int main(int argc, char** argv) {
    // The user's locale, as the window runs in: names in the "ANSI" charset decode as the user's.
    std::setlocale(LC_ALL, "");
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? pixhaven::cli::kExitUsage : pixhaven::cli::kExitOk;
    }
    const std::string_view command = args[0];
    const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    if (command == "list") {
        return pixhaven::cli::RunList(rest);
    }
    if (command == "manifest") {
        return pixhaven::cli::RunManifest(rest);
    }
    if (command == "scan") {
        return pixhaven::cli::RunScan(rest);
    }
    if (command == "recover") {
        return pixhaven::cli::RunRecover(rest);
    }
    std::fprintf(stderr, "pixhaven-cli: unknown command '%.*s'\n\n%s",
                 static_cast<int>(command.size()), command.data(), kUsage);
    return pixhaven::cli::kExitUsage;
}
