// `pixhaven-cli manifest BACKUP_FOLDER`: every record of the backup's manifest (Manifest.mbdb, else
// Manifest.db), one line each: stored name, size, modified time, domain and path, separated by
// tabs.
#include <algorithm>
#include <cstdio>
#include <string>

#include "backup/backupmanifest.h"
#include "cli/commands.h"

namespace pixhaven::cli {
namespace {

bool NeedsEscape(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '\\';
}

void AppendEscape(std::string& line, char c) {
    switch (c) {
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\\':
            line += "\\\\";
            break;
        default: {
            constexpr std::string_view kHex = "0123456789abcdef";
            const auto byte = static_cast<unsigned char>(c);
            line += "\\u00";
            line += kHex[byte >> 4];
            line += kHex[byte & 0xF];
        }
    }
}

// Control characters and backslashes inside a field are escaped, so every record stays one line
// and no byte of a hostile path reaches the terminal as a control sequence. Control characters
// without a short escape take the \u00XX form of `list --json` (ESC is \u001b).
void AppendField(std::string& line, std::string_view text) {
    for (auto special = std::find_if(text.begin(), text.end(), NeedsEscape); special != text.end();
         special = std::find_if(text.begin(), text.end(), NeedsEscape)) {
        const auto at = static_cast<std::size_t>(special - text.begin());
        line += text.substr(0, at);
        AppendEscape(line, *special);
        text.remove_prefix(at + 1);
    }
    line += text;
}

void AppendRecordLine(std::string& out, const backup::ManifestRecord& record) {
    out += record.StoredName();
    out += '\t';
    out += std::to_string(record.size);
    out += '\t';
    out += record.ModifiedText();
    out += '\t';
    AppendField(out, record.Domain().value_or(""));
    out += '\t';
    AppendField(out, record.Path().value_or(""));
    out += '\n';
}

}  // namespace

int RunManifest(std::span<const std::string_view> args) {
    if (args.size() != 1 || args[0].starts_with("-")) {
        std::fputs("usage: pixhaven-cli manifest BACKUP_FOLDER\n", stderr);
        return kExitUsage;
    }
    const std::filesystem::path folder(args[0]);
    const backup::BackupManifest opened = backup::OpenBackupManifest(folder);
    if (!opened.manifest) {
        const std::string_view message = backup::ManifestProblemMessage(opened.problem);
        std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
        return kExitFailed;
    }
    const std::optional<backup::Manifest>& manifest = opened.manifest;
    std::string out;
    constexpr std::size_t kFlushAt = 1 << 20;
    for (const backup::ManifestRecord& record : *manifest) {
        AppendRecordLine(out, record);
        if (out.size() >= kFlushAt) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

}  // namespace pixhaven::cli
