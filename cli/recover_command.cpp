// `pixhaven-cli recover`: scans a backup, ticks the groups asked for and copies them out as the
// window's recovery does, saying on stderr which files could not be copied.
#include <charconv>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "platform/files.h"
#include "platform/textcodec.h"

namespace pixhaven::cli {
namespace {

constexpr const char* kRecoverUsage =
    "usage: pixhaven-cli recover BACKUP_FOLDER --to DIR [--group INDEX]... [--password-file FILE]\n"
    "exit status: 0 every file copied, 2 unusable backup or target folder, 3 some files could "
    "not be copied, 4 the backup is encrypted and no password was given, 5 wrong password\n";

struct RecoverArguments : BackupArguments {
    std::filesystem::path target;
    std::set<int> groups;  // empty: every group
};

std::optional<RecoverArguments> ParseRecoverArguments(std::span<const std::string_view> args) {
    RecoverArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" && i + 1 < args.size()) {
            parsed.target = std::filesystem::path(args[++i]);
        } else if (args[i] == "--group" && i + 1 < args.size()) {
            const std::string_view text = args[++i];
            int index = -1;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), index);
            if (error != std::errc() || end != text.data() + text.size() || index < 0 ||
                index >= backup::kGroupCount) {
                return std::nullopt;
            }
            parsed.groups.insert(index);
        } else if (!TakeBackupArgument(args, i, parsed)) {
            return std::nullopt;
        }
    }
    if (parsed.folder.empty() || parsed.target.empty()) {
        return std::nullopt;
    }
    return parsed;
}

void TickGroups(backup::ScanResults& results, const std::set<int>& groups) {
    for (int group = 0; group < backup::kGroupCount; ++group) {
        if (groups.empty() || groups.count(group) != 0) {
            for (const auto& item : results.groups[group]) {
                item->checked = 1;
            }
        }
    }
}

// The recovery target is checked before the scan, so that a mistyped folder costs no scan.
bool CheckTargetFolder(const std::filesystem::path& target) {
    if (platform::IsFolder(target)) {
        return true;
    }
    PrintError("cannot recover into " + target.string() + ": " +
               (platform::PathExists(target) ? "it is not a folder" : "no such folder"));
    return false;
}

int ReportRecovery(const backup::ScanSession& session) {
    const backup::RecoveryOutcome& outcome = *session.LastRecovery();
    for (const backup::RecoveryFailure& failure : outcome.failures) {
        PrintError("could not copy " + backup::DescribeFailure(failure));
    }
    std::printf("%s\nSaveFile:%s\n",
                platform::Utf16ToUtf8(backup::RecoverySummary(outcome)).c_str(),
                session.RecoveryFolder().string().c_str());
    return outcome.failures.empty() ? kExitOk : kExitIncomplete;
}

}  // namespace

int RunRecover(std::span<const std::string_view> args) {
    const std::optional<RecoverArguments> parsed =
        OrUsage(ParseRecoverArguments(args), kRecoverUsage);
    if (!parsed) {
        return kExitUsage;
    }
    if (!CheckTargetFolder(parsed->target)) {
        return kExitFailed;
    }
    OpenedTerminal opened = OpenAndScan(parsed->folder, parsed->passwordFile);
    if (!opened.terminal) {
        return opened.exitCode;
    }
    Terminal& terminal = *opened.terminal;
    if (Interrupted()) {
        PrintError("interrupted");
        return kExitInterrupted;
    }
    backup::ScanSession& session = *terminal.session;
    TickGroups(session.Results(), parsed->groups);
    const backup::OutputFolder output = session.StartRecovery(parsed->target);
    if (output.path.empty()) {
        PrintError("cannot create the recovery folder in " + parsed->target.string() + " (" +
                   output.error.message() + ")");
        return kExitFailed;
    }
    terminal.observer.WaitForFinish(session);
    return ReportRecovery(session);
}

}  // namespace pixhaven::cli
