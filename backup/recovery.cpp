// Recovery: copies the ticked items of each group into a per-group folder below a time-stamped
// output folder. Every name taken from a backup is made safe first, so no copy leaves its folder.
#include "backup/recovery.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/files.h"
#include "platform/localtime.h"
#include "platform/textcodec.h"

namespace fs = std::filesystem;

namespace pixhaven::backup {
namespace {

constexpr std::u16string_view kUnnamed = u"unnamed";
constexpr int kMaxOutputFolderAttempts = 1000;
constexpr std::u16string_view kInvalidInNames = u"<>:\"/\\|?*";

// Control characters, the characters Windows forbids in names, and unpaired surrogates (which no
// path encoding can carry) all become '_'.
std::u16string ReplaceInvalidCharacters(std::u16string_view name) {
    std::u16string safe(name);
    for (std::size_t i = 0; i < safe.size(); ++i) {
        const char16_t c = safe[i];
        if (platform::IsSurrogatePairAt(safe, i)) {
            ++i;
        } else if (c < 0x20 || c == 0x7F || platform::IsSurrogate(c) ||
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
// the same name in one group then meet as any two same-named files do: the second is numbered.
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

// "name (n).ext": the number goes before the last dot, or at the end when the name has no
// extension (a leading dot starts a name, not an extension).
std::u16string NumberedName(std::u16string_view name, int number) {
    const auto dot = name.rfind(u'.');
    const std::size_t stemEnd = dot == std::u16string_view::npos || dot == 0 ? name.size() : dot;
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::u16string numbered(name.substr(0, stemEnd));
    numbered.append(suffix.begin(), suffix.end());
    numbered.append(name.substr(stemEnd));
    return numbered;
}

// The files of one group folder. Copies never replace a file: a taken name moves on to the next
// number. The numbers already handed out per name are remembered, so a thousand clips of one name
// do not try a thousand names each.
class GroupFolder {
public:
    explicit GroupFolder(fs::path folder) : folder_(std::move(folder)) {}

    const fs::path& Path() const { return folder_; }

    // Copies `source` under `fileName` or its first free numbered form; `destination` is the name
    // written (or the last one tried).
    platform::CopyResult Copy(const StoredContent& source, const std::u16string& fileName,
                              fs::path& destination, std::error_code& error) {
        int& number = nextNumber_[fileName];
        for (;;) {
            const std::u16string name = number == 0 ? fileName : NumberedName(fileName, number);
            destination = folder_ / platform::PathFromUtf16(name);
            const platform::CopyResult result = CopyContent(source, destination, error);
            number = number == 0 ? 2 : number + 1;
            if (result != platform::CopyResult::DestinationExists) {
                return result;
            }
        }
    }

private:
    fs::path folder_;
    std::unordered_map<std::u16string, int> nextNumber_;  // 0: the bare name is still untried
};

FailureCause CauseOf(platform::CopyResult result, const StoredContent& source) {
    switch (result) {
        case platform::CopyResult::SourceUnreadable:
            return FailureCause::SourceUnreadable;
        case platform::CopyResult::TransformFailed:
            return source.Readable() ? FailureCause::NotDecryptable : FailureCause::KeyUnusable;
        default:
            return FailureCause::DestinationFailed;
    }
}

void CopyItem(RecoveryContext& recovery, GroupFolder& folder, int group, const MediaItem& item) {
    fs::path destination;
    std::error_code error;
    const platform::CopyResult result =
        folder.Copy(item.file, RecoveredFileName(group, item.displayName), destination, error);
    if (result == platform::CopyResult::Copied) {
        ++recovery.outcome.written;
    } else {
        recovery.outcome.failures.push_back(
            {item.file.path, destination, CauseOf(result, item.file), error});
    }
    const int done = ++recovery.results.done;
    recovery.observer.ShowProgress(Percent(done, recovery.total));
    recovery.observer.ShowStatus(u"Recovering: " + platform::PathToUtf16(destination));
}

std::u16string Utf16Number(int number) {
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
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

OutputFolder MakeOutputFolder(const fs::path& chosenFolder) {
    const std::string name =
        "PXHVN" + platform::FormatCivilTime(platform::LocalNow(), "%Y%m%d%H%M%S");
    std::error_code error;
    if (!platform::IsFolder(chosenFolder)) {
        return {{},
                std::make_error_code(platform::PathExists(chosenFolder)
                                         ? std::errc::not_a_directory
                                         : std::errc::no_such_file_or_directory)};
    }
    // A recovery within the same second as another must not write among the other's files.
    for (int attempt = 1; attempt <= kMaxOutputFolderAttempts; ++attempt) {
        const fs::path output =
            chosenFolder / (attempt == 1 ? name : name + "-" + std::to_string(attempt));
        if (platform::CreateNewFolder(output, error)) {
            return {output, {}};
        }
        if (error != std::errc::file_exists) {
            break;
        }
    }
    return {{}, error};
}

int RecoverGroup(RecoveryContext& recovery, int group) {
    const auto& items = recovery.results.groups[static_cast<std::size_t>(group)];
    const int ticked = CountTicked(items);
    if (ticked == 0) {
        return 0;
    }
    const std::u16string& label = recovery.results.labels[static_cast<std::size_t>(group)];
    GroupFolder folder(recovery.outputFolder /
                       platform::PathFromUtf16(GroupFolderName(label, ticked)));
    // A folder that cannot be made shows as failed copies into it, one per ticked item.
    platform::CreateFolder(folder.Path());
    for (const auto& item : items) {
        if (recovery.control.WaitAndCheckStop()) {
            return -1;
        }
        // The views may change a tick meanwhile: read it once, when the worker gets here.
        if (item->checked.load() != 0) {
            CopyItem(recovery, folder, group, *item);
        }
    }
    return ticked;
}

std::u16string RecoverySummary(const RecoveryOutcome& outcome) {
    std::u16string text =
        u"Recovering finished, " + Utf16Number(outcome.written) + u" files have been recovered";
    if (!outcome.failures.empty()) {
        text += u", " + Utf16Number(static_cast<int>(outcome.failures.size())) +
                u" could not be copied";
    }
    return text + u".";
}

std::string DescribeFailure(const RecoveryFailure& failure) {
    std::string line = failure.source.string() + ": ";
    switch (failure.cause) {
        case FailureCause::SourceUnreadable:
            line += "the stored file could not be read";
            break;
        case FailureCause::DestinationFailed:
            line += "could not write " + failure.destination.string();
            break;
        case FailureCause::KeyUnusable:
            line += "its key does not unwrap with the backup's keys";
            break;
        case FailureCause::NotDecryptable:
            line += "it does not decrypt (its padding or size does not check out)";
            break;
    }
    if (failure.error) {
        line += " (" + failure.error.message() + ")";
    }
    return line;
}

}  // namespace pixhaven::backup
