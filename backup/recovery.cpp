// Recovery: copies the ticked items of each group into a per-group folder below a time-stamped
// output folder. Every name taken from a backup is made safe first, so no copy leaves its folder.
#include "backup/recovery.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/localtime.h"
#include "platform/textcodec.h"

namespace fs = std::filesystem;

namespace pixhaven::backup {
namespace {

constexpr std::u16string_view kUnnamed = u"unnamed";
constexpr std::u16string_view kInvalidInNames = u"<>:\"/\\|?*";

bool IsSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Control characters, the characters Windows forbids in names, and unpaired surrogates (which no
// path encoding can carry) all become '_'.
std::u16string ReplaceInvalidCharacters(std::u16string_view name) {
    std::u16string safe(name);
    for (std::size_t i = 0; i < safe.size(); ++i) {
        const char16_t c = safe[i];
        const bool pairedHigh = c >= 0xD800 && c <= 0xDBFF && i + 1 < safe.size() &&
                                safe[i + 1] >= 0xDC00 && safe[i + 1] <= 0xDFFF;
        if (pairedHigh) {
            ++i;
        } else if (c < 0x20 || c == 0x7F || IsSurrogate(c) ||
                   kInvalidInNames.find(c) != std::u16string_view::npos) {
            safe[i] = u'_';
        }
    }
    return safe;
}

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Windows opens a device, not a file, for these stems, whatever extension follows.
bool IsReservedDeviceName(std::u16string_view name) {
    std::u16string stem(name.substr(0, name.find(u'.')));
    while (!stem.empty() && stem.back() == u' ') {
        stem.pop_back();
    }
    std::transform(stem.begin(), stem.end(), stem.begin(), UpperAscii);
    static constexpr std::array<std::u16string_view, 4> kDevices = {u"CON", u"PRN", u"AUX", u"NUL"};
    if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with(u"COM") || stem.starts_with(u"LPT")) &&
           stem[3] >= u'1' && stem[3] <= u'9';
}

std::u16string SafeFileName(std::u16string_view name) {
    std::u16string safe = ReplaceInvalidCharacters(name);
    // Windows drops trailing dots and blanks, which would also turn ".." into a parent reference.
    while (!safe.empty() && (safe.back() == u'.' || safe.back() == u' ')) {
        safe.pop_back();
    }
    if (safe.empty()) {
        return std::u16string(kUnnamed);
    }
    if (IsReservedDeviceName(safe)) {
        safe.insert(safe.begin(), u'_');
    }
    return safe;
}

std::u16string_view AfterLastSlash(std::u16string_view name) {
    const auto slash = name.rfind(u'/');
    return slash == std::u16string_view::npos ? name : name.substr(slash + 1);
}

// Photo items keep their numbered display name. BMP items (group 5) carry the record's whole
// relative path, whose folders recovery does not create; they are written under their own file
// name, like audio and video items, so that every BMP lands directly in the group folder. Two with
// the same name in one group then meet as any two same-named files do: the second copy fails.
std::u16string RecoveredFileName(int group, std::u16string_view displayName) {
    const bool keepsWholeName = group < kMov && group != kBmp;
    return SafeFileName(keepsWholeName ? displayName : AfterLastSlash(displayName));
}

std::u16string GroupFolderName(const std::u16string& label, int ticked) {
    std::u16string name = label.substr(0, label.find(u'('));
    const std::string count = "(" + std::to_string(ticked) + ")";
    name.append(count.begin(), count.end());
    return SafeFileName(name);
}

int CountTicked(const std::vector<std::unique_ptr<MediaItem>>& items) {
    return static_cast<int>(std::count_if(
        items.begin(), items.end(), [](const auto& item) { return item->checked.load() != 0; }));
}

int Percent(int done, int total) {
    if (total <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<std::int64_t>(done) * 100 / total);
}

void CopyItem(RecoveryContext& recovery, const fs::path& groupFolder, int group,
              const MediaItem& item) {
    const fs::path destination =
        groupFolder / platform::PathFromUtf16(RecoveredFileName(group, item.displayName));
    // A failed copy (missing source, existing destination) counts as handled all the same.
    platform::CopyFileNoOverwrite(item.file, destination);
    const int done = ++recovery.results.done;
    recovery.viewer.ShowProgress(Percent(done, recovery.total));
    recovery.viewer.ShowStatus(u"Recovering: " + platform::PathToUtf16(destination));
}

}  // namespace

int CountCheckedItems(const ScanResults& results) {
    int ticked = 0;
    for (int group = 0; group < kGroupCount; ++group) {
        if (results.hasResults[static_cast<std::size_t>(group)]) {
            ticked += CountTicked(results.groups[static_cast<std::size_t>(group)]);
        }
    }
    return ticked;
}

fs::path MakeOutputFolder(const fs::path& chosenFolder) {
    const std::string stamp = platform::FormatCivilTime(platform::LocalNow(), "%Y%m%d%H%M%S");
    fs::path output = chosenFolder / ("PXHVN" + stamp);
    platform::CreateFolder(output);
    return output;
}

int RecoverGroup(RecoveryContext& recovery, int group) {
    const auto& items = recovery.results.groups[static_cast<std::size_t>(group)];
    const int ticked = CountTicked(items);
    if (ticked == 0) {
        return 0;
    }
    const std::u16string& label = recovery.results.labels[static_cast<std::size_t>(group)];
    const fs::path groupFolder =
        recovery.outputFolder / platform::PathFromUtf16(GroupFolderName(label, ticked));
    platform::CreateFolder(groupFolder);
    for (const auto& item : items) {
        if (recovery.control.WaitAndCheckStop()) {
            return -1;
        }
        // The views may change a tick meanwhile: read it once, when the worker gets here.
        if (item->checked.load() != 0) {
            CopyItem(recovery, groupFolder, group, *item);
        }
    }
    return ticked;
}

}  // namespace pixhaven::backup
