// `pixhaven-cli scan`: the scan worker without a window, and its results as a table or JSON. The
// worker runs on its own thread as in the program; this thread waits for it.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "platform/jsonwriter.h"
#include "platform/textcodec.h"

namespace pixhaven::cli {
namespace {

constexpr const char* kScanUsage =
    "usage: pixhaven-cli scan BACKUP_FOLDER [--json] [--password-file FILE]\n";

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

struct ScanArguments : BackupArguments {
    bool json = false;
};

std::optional<ScanArguments> ParseScanArguments(std::span<const std::string_view> args) {
    ScanArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            parsed.json = true;
        } else if (!TakeBackupArgument(args, i, parsed)) {
            return std::nullopt;
        }
    }
    if (parsed.folder.empty()) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

int RunScan(std::span<const std::string_view> args) {
    const std::optional<ScanArguments> parsed = OrUsage(ParseScanArguments(args), kScanUsage);
    if (!parsed) {
        return kExitUsage;
    }
    OpenedTerminal opened = OpenAndScan(parsed->folder, parsed->passwordFile);
    if (!opened.terminal) {
        return opened.exitCode;
    }
    const backup::ScanSession& session = *opened.terminal->session;
    parsed->json ? PrintScanJson(session) : PrintScanTable(session);
    return kExitOk;
}

}  // namespace pixhaven::cli
