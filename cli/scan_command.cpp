// `pixhaven-cli scan` and `pixhaven-cli recover`: the scan and recovery workers without a window.
// The worker runs on its own thread as in the program; this thread waits for it and turns Ctrl-C
// into a stop request.
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "backup/scansession.h"
#include "cli/commands.h"
#include "platform/jsonwriter.h"
#include "platform/event.h"
#include "platform/files.h"
#include "platform/textcodec.h"

namespace pixhaven::cli {
namespace {

constexpr const char* kScanUsage = "usage: pixhaven-cli scan BACKUP_FOLDER [--json]\n";
constexpr const char* kRecoverUsage =
    "usage: pixhaven-cli recover BACKUP_FOLDER --to DIR [--group INDEX]...\n"
    "exit status: 0 every file copied, 2 unusable backup or target folder, 3 some files could "
    "not be copied\n";

volatile std::sig_atomic_t interrupted = 0;  // set by the Ctrl-C handler only

void OnInterrupt(int) {
    interrupted = 1;
}

// Pictures are never decoded here: the item only needs to know its file.
class PathPicture final : public backup::PictureSource {
public:
    explicit PathPicture(std::filesystem::path file) : file_(std::move(file)) {}
    const std::filesystem::path& File() const override { return file_; }

private:
    std::filesystem::path file_;
};

class PathPictureFactory final : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const backup::StoredContent& file) override {
        return std::make_unique<PathPicture>(file.path);
    }
};

// Reports to the terminal: a progress bar on stderr when it is one, the finish as an event.
class TerminalObserver final : public backup::WorkerObserver {
public:
    TerminalObserver() : showBar_(isatty(STDERR_FILENO) != 0) {}

    void ShowProgress(int percent) override {
        if (showBar_ && percent != lastPercent_) {
            lastPercent_ = percent;
            const int filled = std::min(std::max(percent, 0), 100) / 4;
            std::fprintf(stderr, "\r[%-25.*s] %3d%%", filled, "#########################", percent);
        }
    }
    void ShowStatus(const std::u16string&) override {}
    void LabelGroup(int, const std::u16string&) override {}
    void ShowPauseAndStop() override {}
    void ScanFinished() override { finished_.Set(); }
    void RecoveryFinished() override { finished_.Set(); }

    // Waits for the worker's end, asking it to stop on Ctrl-C.
    void WaitForFinish(backup::ScanSession& session) {
        while (!finished_.WaitFor(std::chrono::milliseconds(100))) {
            if (interrupted != 0) {
                session.Stop();
            }
        }
        if (showBar_ && lastPercent_ >= 0) {
            std::fputc('\n', stderr);
        }
        finished_.Reset();
        lastPercent_ = -1;
        session.FinishWorker();
    }

private:
    bool showBar_;
    int lastPercent_ = -1;
    platform::ManualResetEvent finished_;
};

// One backup's scan session with the terminal as its front end.
struct Terminal {
    TerminalObserver observer;
    PathPictureFactory pictures;
    std::unique_ptr<backup::ScanSession> session;

    void Scan() {
        session->StartScan();
        observer.WaitForFinish(*session);
    }
};

std::unique_ptr<Terminal> OpenTerminal(const std::filesystem::path& folder) {
    auto terminal = std::make_unique<Terminal>();
    backup::ScanSession::Opened opened =
        backup::ScanSession::Open(folder, terminal->observer, terminal->pictures);
    if (!opened.session) {
        const std::string_view message = backup::ManifestProblemMessage(opened.problem);
        std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
        return nullptr;
    }
    terminal->session = std::move(opened.session);
    return terminal;
}

void ItemJson(json::Writer& json, const backup::MediaItem& item) {
    const bool photo = item.kind == backup::MediaKind::Photo;
    json.BeginObject()
        .Member("name", item.displayName)
        .Member("file", item.file.path.string())
        .Member("size", item.size)
        .Member("created", photo ? item.createdText : u"")
        .Member("modified", photo ? item.modifiedText : u"")
        .EndObject();
}

void GroupJson(json::Writer& json, const backup::ScanResults& results, int group) {
    json.BeginObject()
        .Member("index", group)
        .Member("label", backup::kMediaGroups[group].label)
        .Member("counted", results.counted[group])
        .Member("taken", results.taken[group])
        .Key("items")
        .BeginArray();
    for (const auto& item : results.groups[group]) {
        ItemJson(json, *item);
    }
    json.EndArray().EndObject();
}

// The groups one a line.
void PrintScanJson(const backup::ScanSession& session) {
    const backup::ScanResults& results = session.Results();
    json::Writer json;
    json.BeginObject()
        .Member("backup", session.Folder().string())
        .Member("total", results.total.load())
        .Member("done", results.done.load())
        .Key("groups")
        .BeginArray("\n  ", "\n");
    for (int group = 0; group < backup::kGroupCount; ++group) {
        GroupJson(json, results, group);
    }
    json.EndArray().EndObject();
    const std::string out = json.Take() + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void PrintScanTable(const backup::ScanSession& session) {
    const backup::ScanResults& results = session.Results();
    std::printf("%-16s %8s %8s\n", "Group", "Counted", "Taken");
    for (int group = 0; group < backup::kGroupCount; ++group) {
        std::printf("%-16s %8d %8d\n", platform::Utf16ToUtf8(results.labels[group]).c_str(),
                    results.counted[group], results.taken[group]);
    }
    std::printf("Total %d, done %d\n", results.total.load(), results.done.load());
}

void InstallInterruptHandler() {
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
}

}  // namespace

int RunScan(std::span<const std::string_view> args) {
    std::optional<std::filesystem::path> folder;
    bool json = false;
    for (const std::string_view arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (!arg.starts_with("-") && !folder) {
            folder = std::filesystem::path(arg);
        } else {
            std::fputs(kScanUsage, stderr);
            return kExitUsage;
        }
    }
    if (!folder) {
        std::fputs(kScanUsage, stderr);
        return kExitUsage;
    }
    const std::unique_ptr<Terminal> terminal = OpenTerminal(*folder);
    if (!terminal) {
        return kExitFailed;
    }
    InstallInterruptHandler();
    terminal->Scan();
    json ? PrintScanJson(*terminal->session) : PrintScanTable(*terminal->session);
    return kExitOk;
}

namespace {

struct RecoverArguments {
    std::filesystem::path folder;
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
        } else if (!args[i].starts_with("-") && parsed.folder.empty()) {
            parsed.folder = std::filesystem::path(args[i]);
        } else {
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

}  // namespace

namespace {

void PrintError(const std::string& text) {
    std::fprintf(stderr, "pixhaven-cli: %s\n", text.c_str());
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
    const std::optional<RecoverArguments> parsed = ParseRecoverArguments(args);
    if (!parsed) {
        std::fputs(kRecoverUsage, stderr);
        return kExitUsage;
    }
    if (!CheckTargetFolder(parsed->target)) {
        return kExitFailed;
    }
    const std::unique_ptr<Terminal> terminal = OpenTerminal(parsed->folder);
    if (!terminal) {
        return kExitFailed;
    }
    InstallInterruptHandler();
    terminal->Scan();
    if (interrupted != 0) {
        PrintError("interrupted");
        return kExitInterrupted;
    }
    backup::ScanSession& session = *terminal->session;
    TickGroups(session.Results(), parsed->groups);
    const backup::OutputFolder output = session.StartRecovery(parsed->target);
    if (output.path.empty()) {
        PrintError("cannot create the recovery folder in " + parsed->target.string() + " (" +
                   output.error.message() + ")");
        return kExitFailed;
    }
    terminal->observer.WaitForFinish(session);
    return ReportRecovery(session);
}

}  // namespace pixhaven::cli
