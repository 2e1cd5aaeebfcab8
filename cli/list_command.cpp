// `pixhaven-cli list`: the backup folders of a root with their device facts, as a table or JSON.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/discovery.h"
#include "cli/commands.h"
#include "platform/jsonwriter.h"
#include "platform/textcodec.h"

namespace pixhaven::cli {
namespace {

constexpr const char* kListUsage = "usage: pixhaven-cli list [--root DIR] [--json]\n";
constexpr std::string_view kNoInfoText = "info.plist not found or may be corrupted";

struct ListOptions {
    std::optional<std::filesystem::path> root;
    bool json = false;
    bool help = false;
};

std::optional<ListOptions> ParseListOptions(std::span<const std::string_view> args) {
    ListOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
        } else if (args[i] == "--root" && i + 1 < args.size()) {
            options.root = std::filesystem::path(args[++i]);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

bool HasFacts(const backup::BackupRow& row) {
    return row.info && row.info->readResult == backup::kInfoRead;
}

// Text for a terminal: control characters from a hostile property list or folder name would
// otherwise move the cursor or rewrite the screen.
std::string TerminalText(std::u16string_view text) {
    std::u16string safe(text);
    for (char16_t& c : safe) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            c = u'?';
        }
    }
    return platform::Utf16ToUtf8(safe);
}

// East Asian wide and full-width characters take two terminal columns.
bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

std::size_t DisplayWidth(std::string_view utf8) {
    const std::u16string text = platform::Utf8ToUtf16(utf8);
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        width += IsWide(c) ? 2 : 1;
    }
    return width;
}

using TableRow = std::vector<std::string>;

TableRow MakeTableRow(const backup::BackupRow& row) {
    TableRow cells{TerminalText(platform::PathToUtf16(row.folderName))};
    if (!HasFacts(row)) {
        cells.emplace_back(kNoInfoText);
        return cells;
    }
    cells.push_back(TerminalText(row.info->deviceName));
    cells.push_back(TerminalText(row.info->lastBackupDate));
    cells.push_back(TerminalText(row.info->serialNumber));
    return cells;
}

std::vector<std::size_t> ColumnWidths(const std::vector<TableRow>& table) {
    std::vector<std::size_t> widths(table.front().size(), 0);
    for (const TableRow& cells : table) {
        // The message of a row without facts spans the columns after the folder.
        const std::size_t measured = cells.size() == widths.size() ? cells.size() : 1;
        for (std::size_t column = 0; column < measured; ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(cells[column]));
        }
    }
    return widths;
}

void PrintTable(const std::vector<backup::BackupRow>& rows) {
    std::vector<TableRow> table{{"Folder", "Device Name", "Last Backup Date", "Serial Number"}};
    for (const backup::BackupRow& row : rows) {
        table.push_back(MakeTableRow(row));
    }
    const std::vector<std::size_t> widths = ColumnWidths(table);
    for (const TableRow& cells : table) {
        std::string line;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            line += cells[column];
            if (column + 1 < cells.size()) {
                line.append(widths[column] - DisplayWidth(cells[column]) + 2, ' ');
            }
        }
        std::printf("%s\n", line.c_str());
    }
}

void WriteInfo(json::Writer& json, const backup::BackupInfo& info) {
    json.BeginObject()
        .Member("read_result", info.readResult)
        .Member("device_name", info.deviceName)
        .Member("last_backup_date", info.lastBackupDate)
        .Member("serial_number", info.serialNumber)
        .Member("product_type", info.productType)
        .Member("product_version", info.productVersion)
        .Member("itunes_version", info.itunesVersion)
        .EndObject();
}

// One backup a line, inside one array.
void PrintJson(const std::vector<backup::BackupRow>& rows) {
    json::Writer json;
    json.BeginArray("\n  ", "\n");
    for (const backup::BackupRow& row : rows) {
        json.BeginObject().Member("folder", platform::PathToUtf16(row.folderName)).Key("info");
        if (row.info) {
            WriteInfo(json, *row.info);
        } else {
            json.Null();
        }
        json.EndObject();
    }
    json.EndArray();
    const std::string out = json.Take() + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::optional<std::filesystem::path> ChooseRoot(const ListOptions& options) {
    if (options.root) {
        return options.root;
    }
    std::filesystem::path root = backup::FindBackupRoot();
    if (root.empty()) {
        std::fputs("pixhaven-cli: cannot work out the backup folder of this user\n", stderr);
        return std::nullopt;
    }
    return root;
}

}  // namespace

int RunList(std::span<const std::string_view> args) {
    const std::optional<ListOptions> options = ParseListOptions(args);
    if (!options || options->help) {
        std::fputs(kListUsage, options ? stdout : stderr);
        return options ? kExitOk : kExitUsage;
    }
    const std::optional<std::filesystem::path> root = ChooseRoot(*options);
    if (!root) {
        return kExitFailed;
    }
    if (!qvIsDirW(*root)) {
        std::fprintf(stderr, "pixhaven-cli: the backup root '%s' is not a folder\n",
                     TerminalText(platform::PathToUtf16(*root)).c_str());
        return kExitFailed;
    }
    const std::vector<backup::BackupRow> rows = backup::ListBackups(*root);
    if (options->json) {
        PrintJson(rows);
    } else {
        PrintTable(rows);
    }
    return kExitOk;
}

}  // namespace pixhaven::cli
