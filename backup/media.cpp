// The thirteen media groups, the three source-folder tests that several groups share, and the
// results object a scan fills.
#include "backup/media.h"

#include <initializer_list>
#include <string>

namespace pixhaven::backup {
namespace {

// The test looks at exactly the final four bytes, so ".jpeg" is not a camera-roll ending.
bool EndsWithOneOf(std::string_view path, std::initializer_list<std::string_view> endings) {
    if (path.size() < 4) {
        return false;
    }
    const std::string_view lastFour = path.substr(path.size() - 4);
    for (const std::string_view ending : endings) {
        if (lastFour == ending) {
            return true;
        }
    }
    return false;
}

// Exactly the final five bytes, as the four-byte test above does for the old endings.
bool EndsWithHeic(std::string_view path) {
    return path.ends_with(".HEIC") || path.ends_with(".heic");
}

bool Contains(std::string_view path, std::string_view part) {
    return path.find(part) != std::string_view::npos;
}

}  // namespace

const std::array<MediaGroup, kGroupCount> kMediaGroups = {{
    {kCameraRoll, u"Camera Roll", MediaKind::Photo},
    {kPhotoStream, u"PhotoStream", MediaKind::Photo},
    {kAttachment, u"Attachment", MediaKind::Photo},
    {kJpg, u"JPG", MediaKind::Photo},
    {kPng, u"PNG", MediaKind::Photo},
    {kBmp, u"BMP", MediaKind::Photo},
    {kGif, u"GIF", MediaKind::Photo},
    {kTiff, u"TIFF", MediaKind::Photo},
    {kMov, u"MOV", MediaKind::AudioVideo},
    {kMp3, u"MP3", MediaKind::AudioVideo},
    {kMp4, u"MP4", MediaKind::AudioVideo},
    {kM4a, u"M4A", MediaKind::AudioVideo},
    {k3gp, u"3GP", MediaKind::AudioVideo},
}};

bool IsCameraRollPath(std::string_view path) {
    return Contains(path, "Media/DCIM/") && EndsWithOneOf(path, {".JPG", ".jpg"});
}

bool IsPhotoStreamPath(std::string_view path) {
    return Contains(path, "Media/PhotoStreamsData/") &&
           EndsWithOneOf(path, {".JPG", ".jpg", ".PNG", ".png"});
}

bool IsAttachmentPath(std::string_view path) {
    return Contains(path, "Library/SMS/Attachments/") &&
           EndsWithOneOf(path, {".JPG", ".jpg", ".PNG", ".png"});
}

bool IsHeicPath(std::string_view path) {
    return EndsWithHeic(path);
}

bool IsBackupThumbnailPath(std::string_view path) {
    return path.starts_with(kBackupThumbnailFolder);
}

// A thumbnail's path holds its photo's path, so without the exclusion each HEIC photo's thumbnail
// would be a second Camera Roll or PhotoStream item.
bool IsModernCameraRollPath(std::string_view path) {
    return !IsBackupThumbnailPath(path) &&
           (IsCameraRollPath(path) || (Contains(path, "Media/DCIM/") && EndsWithHeic(path)));
}

bool IsModernPhotoStreamPath(std::string_view path) {
    return !IsBackupThumbnailPath(path) &&
           (IsPhotoStreamPath(path) ||
            (Contains(path, "Media/PhotoStreamsData/") && EndsWithHeic(path)));
}

std::string BackupThumbnailPath(std::string_view photoPath) {
    std::string path(kBackupThumbnailFolder);
    path += photoPath;
    path += kBackupThumbnailName;
    return path;
}

ScanResults::ScanResults() {
    Clear();
}

void ScanResults::Clear() {
    for (int g = 0; g < kGroupCount; ++g) {
        groups[g].clear();
        labels[g] = std::u16string(kMediaGroups[g].label);
    }
    counted.fill(0);
    taken.fill(0);
    hasResults.fill(false);
    total = 0;
    done = 0;
}

}  // namespace pixhaven::backup
