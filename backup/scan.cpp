// The counting and collecting passes of the media scan. The two passes of a group deliberately
// apply different conditions (a signature tested in one pass only, exclusions in one pass only),
// so a group's count and the number it takes may differ; progress is reported against the count.
#include "backup/scan.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "makerlibs/gildpaint.h"
#include "platform/textcodec.h"

namespace pixhaven::backup {
namespace {

using namespace std::string_view_literals;

bool ContainsAny(std::string_view path, std::initializer_list<std::string_view> parts) {
    for (const std::string_view part : parts) {
        if (path.find(part) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool IsSourceGroupPath(std::string_view path) {
    return IsCameraRollPath(path) || IsPhotoStreamPath(path) || IsAttachmentPath(path);
}

bool IsValidGroup(int group) {
    return group >= 0 && group < kGroupCount;
}

// The name test shared by both passes ("a record belongs when its path ..."). Only the two camera
// groups differ in modern backups.
bool BelongsToGroup(int group, std::string_view path, std::uint32_t size, bool modern) {
    switch (group) {
        case kCameraRoll:
            return modern ? IsModernCameraRollPath(path) : IsCameraRollPath(path);
        case kPhotoStream:
            return modern ? IsModernPhotoStreamPath(path) : IsPhotoStreamPath(path);
        case kAttachment:
            return IsAttachmentPath(path);
        case kJpg:
            return ContainsAny(path, {".jpg", ".jpeg", ".JPG", ".JPEG"}) &&
                   !IsSourceGroupPath(path);
        case kPng:
            return ContainsAny(path, {".png", ".PNG"}) && !IsAttachmentPath(path);
        case kBmp:
            return ContainsAny(path, {".bmp", ".BMP"});
        case kGif:
            return ContainsAny(path, {".gif", ".GIF"});
        case kTiff:
            return ContainsAny(path, {".tiff", ".TIFF"});
        case kMov:
            return ContainsAny(path, {".MOV", ".mov"});
        case kMp3:
            return ContainsAny(path, {".MP3", ".mp3"}) && size != 0;
        case kMp4:
            return ContainsAny(path, {".MP4", ".mp4"});
        case kM4a:
            return ContainsAny(path, {".M4A", ".m4a"});
        case k3gp:
            return ContainsAny(path, {".3gp", ".3GP"});
        default:
            return false;
    }
}

// What the counting pass asks beyond the name test. Only groups 4 and 7 open files here.
bool CountingTakes(const ScanContext& scan, int group, const ManifestRecord& record,
                   std::string_view path) {
    switch (group) {
        case kPng:
            return HasPngSignature(StoredContentOf(record, scan.backupFolder, scan.keys));
        case kTiff:
            return !IsAttachmentPath(path) &&
                   HasTiffSignature(StoredContentOf(record, scan.backupFolder, scan.keys));
        default:
            return true;
    }
}

// What the collecting pass asks beyond the name test. Only groups 3, 5 and 6 open files here;
// the cheap path tests come first so excluded records cost no file open.
bool CollectingTakes(int group, std::string_view path, const StoredContent& file) {
    switch (group) {
        case kJpg:
            return HasJpegSignature(file);
        case kBmp:
            return !IsAttachmentPath(path) && HasBmpSignature(file);
        case kGif:
            return !IsAttachmentPath(path) && HasGifSignature(file);
        case kTiff:
            return !IsSourceGroupPath(path);
        default:
            return true;
    }
}

std::u16string AsciiToUtf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// "%04d" followed by the extension: 0001 ... 9999, then 10000 and up.
std::u16string NumberedName(int number, std::u16string_view extension) {
    std::string digits = std::to_string(number);
    if (digits.size() < 4) {
        digits.insert(0, 4 - digits.size(), '0');
    }
    std::u16string name = AsciiToUtf16(digits);
    name += extension;
    return name;
}

std::u16string DisplayName(int group, int number, std::string_view path) {
    switch (group) {
        case kPng:
            return NumberedName(number, u".png");
        case kGif:
            return NumberedName(number, u".gif");
        case kTiff:
            return NumberedName(number, u".tiff");
        case kBmp:
        case kMov:
            return platform::AnsiToUtf16(path);
        case kMp3:
        case kMp4:
        case kM4a:
        case k3gp:
            return platform::Utf8ToUtf16(path);
        case kCameraRoll:
        case kPhotoStream:
            return NumberedName(number, IsHeicPath(path) ? u".heic" : u".jpg");
        default:  // Attachment and JPG; PNG files in the source groups are named ".jpg" too
            return NumberedName(number, u".jpg");
    }
}

// The backup's own thumbnails of HEIC photos, found by domain and path. The index is built when
// the first HEIC photo asks, so old backups and JPEG-only ones never pay for it.
class BackupThumbnails {
public:
    explicit BackupThumbnails(const ScanContext& scan) : scan_(scan) {}

    // The stored file of the thumbnail of `photo`, no path when the manifest lists none with
    // content or its file is not in the backup folder.
    StoredContent Of(const ManifestRecord& photo) {
        if (!index_) {
            index_ = BuildIndex();
        }
        const auto found = index_->find(Key(photo.Domain(), BackupThumbnailPath(*photo.Path())));
        if (found == index_->end()) {
            return {};
        }
        StoredContent file = StoredContentOf(*found->second, scan_.backupFolder, scan_.keys);
        std::error_code error;
        return std::filesystem::is_regular_file(file.path, error) ? file : StoredContent();
    }

private:
    using Index = std::unordered_map<std::string, const ManifestRecord*>;

    // An absent domain must not match an empty one.
    static std::string Key(std::optional<std::string_view> domain, std::string_view path) {
        std::string key = domain ? "d" + std::string(*domain) : std::string("n");
        key += '\0';
        key += path;
        return key;
    }

    Index BuildIndex() const {
        Index index;
        for (const ManifestRecord& record : scan_.manifest) {
            const auto path = record.Path();
            if (record.HasContent() && path && IsBackupThumbnailPath(*path) &&
                path->ends_with(kBackupThumbnailName)) {
                index.emplace(Key(record.Domain(), *path), &record);
            }
        }
        return index;
    }

    const ScanContext& scan_;
    std::optional<Index> index_;
};

std::unique_ptr<MediaItem> MakeItem(ScanContext& scan, int group, const ManifestRecord& record,
                                    StoredContent file, int number, BackupThumbnails& thumbnails) {
    auto item = std::make_unique<MediaItem>();
    item->kind = kMediaGroups[group].kind;
    item->displayName = DisplayName(group, number, *record.Path());
    if ((group == kCameraRoll || group == kPhotoStream) && IsHeicPath(*record.Path())) {
        item->preview = thumbnails.Of(record);
    }
    if (item->kind == MediaKind::Photo) {
        // An undecodable or missing file still makes an item; its picture may be null.
        item->picture = item->preview.path.empty()
                            ? scan.pictures.Make(file)
                            : scan.pictures.MakeWithPreview(file, item->preview);
        item->createdText = platform::Utf8ToUtf16(record.CreatedText());
        item->modifiedText = platform::Utf8ToUtf16(record.ModifiedText());
        item->sizeText = fsize_format(record.size, 0, 0);
    }
    item->size = record.size;
    item->file = std::move(file);
    return item;
}

void ReportProgress(ScanContext& scan) {
    const int done = ++scan.results.done;
    const int total = scan.results.total.load();
    // Nothing counted: no share can be computed, and nothing is left to do.
    const int percent =
        total == 0 ? 100 : static_cast<int>(std::int64_t{done} * 100 / std::int64_t{total});
    scan.observer.ShowProgress(percent);
}

void LabelTakenGroup(ScanContext& scan, int group, int taken) {
    std::u16string text(kMediaGroups[group].label);
    text += u" (";
    text += AsciiToUtf16(std::to_string(taken));
    text += u')';
    scan.results.labels[group] = text;
    scan.results.hasResults[group] = true;
    scan.observer.LabelGroup(group, text);
}

void FinishCollecting(ScanContext& scan, int group, int taken) {
    scan.results.taken[group] = taken;
    if (taken > 0) {
        LabelTakenGroup(scan, group, taken);
    }
}

}  // namespace

int CountGroup(ScanContext& scan, int group) {
    if (!IsValidGroup(group)) {
        return 0;
    }
    int count = 0;
    for (const ManifestRecord& record : scan.manifest) {
        const auto path = record.Path();
        // Folders and links of a modern backup have no stored file and belong to no group.
        if (record.HasContent() && path &&
            BelongsToGroup(group, *path, record.size, scan.manifest.IsModern()) &&
            CountingTakes(scan, group, record, *path)) {
            ++count;
        }
    }
    scan.results.counted[group] = count;
    scan.results.total += count;
    return count;
}

int CollectGroup(ScanContext& scan, int group) {
    if (!IsValidGroup(group)) {
        return 0;
    }
    auto& items = scan.results.groups[group];
    BackupThumbnails thumbnails(scan);
    int taken = 0;
    for (const ManifestRecord& record : scan.manifest) {
        if (scan.control.WaitAndCheckStop()) {
            FinishCollecting(scan, group, taken);
            return -1;
        }
        const auto path = record.Path();
        if (!record.HasContent() || !path ||
            !BelongsToGroup(group, *path, record.size, scan.manifest.IsModern())) {
            continue;
        }
        StoredContent file = StoredContentOf(record, scan.backupFolder, scan.keys);
        if (!CollectingTakes(group, *path, file)) {
            continue;
        }
        ++taken;
        items.push_back(MakeItem(scan, group, record, std::move(file), taken, thumbnails));
        ReportProgress(scan);
    }
    FinishCollecting(scan, group, taken);
    return taken;
}

bool HasJpegSignature(const StoredContent& file) {
    ContentEnds reader(file);
    return reader.Head(3) == "\xFF\xD8\xFF"sv && reader.Tail(2) == "\xFF\xD9"sv;
}

bool HasPngSignature(const StoredContent& file) {
    return ContentEnds(file).Head(4) == "\x89PNG"sv;
}

bool HasBmpSignature(const StoredContent& file) {
    return ContentEnds(file).Head(2) == "BM"sv;
}

bool HasGifSignature(const StoredContent& file) {
    ContentEnds reader(file);
    const std::string_view head = reader.Head(6);
    return head == "GIF89a"sv || head == "GIF87a"sv;
}

bool HasTiffSignature(const StoredContent& file) {
    ContentEnds reader(file);
    const std::string_view head = reader.Head(4);
    return head == "MM\0\x2A"sv || head == "II\x2A\0"sv;
}

}  // namespace pixhaven::backup
