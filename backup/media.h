// The thirteen media groups, the items a scan finds, and the results a scan fills and a recovery
// reads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backup/storedcontent.h"

namespace pixhaven::backup {

inline constexpr int kGroupCount = 13;

enum MediaGroupIndex : int {
    kCameraRoll = 0,
    kPhotoStream = 1,
    kAttachment = 2,
    kJpg = 3,
    kPng = 4,
    kBmp = 5,
    kGif = 6,
    kTiff = 7,
    kMov = 8,
    kMp3 = 9,
    kMp4 = 10,
    kM4a = 11,
    k3gp = 12,
};

enum class MediaKind { Photo, AudioVideo };

struct MediaGroup {
    int index;
    std::u16string_view label;  // tree text, also used in "%s (%d)" and recovery folder names
    MediaKind kind;
};

// In category order; the index is the group's position in the tree.
extern const std::array<MediaGroup, kGroupCount> kMediaGroups;

// The order in which groups are counted, collected and recovered (MP4 before MP3).
inline constexpr std::array<int, kGroupCount> kGroupWorkOrder = {0, 1, 2,  3, 4,  5, 6,
                                                                 7, 8, 10, 9, 11, 12};

bool IsCameraRollPath(std::string_view path);
bool IsPhotoStreamPath(std::string_view path);
bool IsAttachmentPath(std::string_view path);

// Modern backups (Manifest.db) keep most camera photos as HEIC: their Camera Roll and PhotoStream
// also take paths whose last five characters are ".HEIC" or ".heic". The backup's own thumbnails
// live under kBackupThumbnailFolder and are never photos of these two groups themselves.
inline constexpr std::string_view kBackupThumbnailFolder = "Media/PhotoData/Thumbnails/V2/";
inline constexpr std::string_view kBackupThumbnailName = "/5003.JPG";
bool IsHeicPath(std::string_view path);
bool IsBackupThumbnailPath(std::string_view path);
bool IsModernCameraRollPath(std::string_view path);
bool IsModernPhotoStreamPath(std::string_view path);
// The path of the backup's own thumbnail of the photo at `photoPath` (same domain).
std::string BackupThumbnailPath(std::string_view photoPath);

// A picture that can be decoded later, when a thumbnail is wanted. It holds no pixels until then:
// a camera roll of 20,000 photos must not be decoded at scan time.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    virtual const std::filesystem::path& File() const = 0;
};

// Makes the picture of a photo item; the window side supplies a decoder-backed one.
class PictureFactory {
public:
    virtual ~PictureFactory() = default;
    virtual std::unique_ptr<PictureSource> Make(const StoredContent& file) = 0;
    // The same for a photo whose backup holds a ready-made thumbnail (a JPEG) in `preview`;
    // a factory that cannot use it makes the plain picture.
    virtual std::unique_ptr<PictureSource> MakeWithPreview(const StoredContent& file,
                                                           const StoredContent& preview) {
        static_cast<void>(preview);
        return Make(file);
    }
};

// One media file found by a scan. Photo items also carry a picture, the two time texts and a size
// text.
struct MediaItem {
    MediaKind kind = MediaKind::Photo;
    std::u16string displayName;
    StoredContent file;           // the stored file in the backup folder
    StoredContent preview;        // the backup's own thumbnail of it, no path when none
    std::atomic<int> checked{0};  // written by the views, read by a running recovery
    std::uint32_t size = 0;       // the record's size
    // Photo items only
    std::unique_ptr<PictureSource> picture;
    std::u16string createdText;
    std::u16string modifiedText;
    std::u16string sizeText;
};

// Everything one scan produced. The window owns it; workers and views borrow it.
struct ScanResults {
    std::array<std::vector<std::unique_ptr<MediaItem>>, kGroupCount> groups;
    std::array<int, kGroupCount> counted{};  // counting-pass counts
    std::array<int, kGroupCount> taken{};    // collecting-pass counts
    std::array<bool, kGroupCount> hasResults{};
    std::array<std::u16string, kGroupCount> labels;  // current tree texts
    std::atomic<int> total{0};
    std::atomic<int> done{0};

    ScanResults();  // bare labels
    void Clear();   // back to the state of a new results object
};

}  // namespace pixhaven::backup
