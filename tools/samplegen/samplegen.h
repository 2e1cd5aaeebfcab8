// Writes a sample backup root: several backup folders with info.plist files, manifests of both
// kinds (Manifest.mbdb, and Manifest.db with stored files in two-character sub-folders) and stored
// files holding real pictures and media, laid out to hit every rule of the media scan.
// The report says what was written so tests can work out what a scan must find.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pixhaven::samplegen {

// What the stored file of a record really holds.
enum class Content : std::uint8_t {
    None,            // no stored file belongs to the record (folders, links)
    Jpeg,            // starts FF D8 FF and ends FF D9
    JpegWithoutEnd,  // starts FF D8 FF, does not end FF D9
    Png,
    Bmp,
    Gif89a,  // animated, several frames
    Gif87a,  // one frame
    TiffBigEndian,
    TiffLittleEndian,
    QuickTime,
    Mp4,
    M4a,
    ThreeGpp,
    Mp3,
    Empty,  // zero bytes
    Other,  // none of the picture signatures: databases, text, property lists
    Heic,   // a real HEVC-coded HEIC picture
};

// The scan rule a record is there to test; None for an ordinary file.
enum class Trap : std::uint8_t {
    None,
    DomainRoot,            // the domain's own folder record, empty path
    Folder,                // mode 040755, no content
    SymbolicLink,          // link target set, no content
    AbsentDomain,          // domain length 0xFFFF
    AbsentPath,            // path length 0xFFFF
    SizeOver4GiB,          // manifest size of 4 GiB or more
    JpegLongExtension,     // IMG_nnnn.jpeg: not a camera-roll ending
    JpegWithoutSignature,  // JPEG-named, not a JPEG at all
    JpegWithoutEnd,        // JPEG start, no FF D9 at the end
    JpegTrailingBytes,     // FF D9 followed by more bytes
    JpegTooShort,          // fewer bytes than the signature
    MixedCaseExtension,    // ".Jpg": matches no test
    PhotoStreamPng,        // photo-stream group and PNG group at once
    PngWithoutSignature,
    PngInFolderName,  // ".png" only in a folder name
    AttachmentJpeg,
    AttachmentPng,
    AttachmentBmp,              // under the attachment folder, but not an attachment photo
    AttachmentDoubleExtension,  // "x.bmp.png", "x.tiff.jpg": attachment plus another type's name
    NonAsciiName,               // UTF-8 beyond ASCII in the path
    BmpWithoutSignature,
    GifWithoutSignature,
    TiffWithoutSignature,
    TifExtension,  // ".tif" matches no group
    ZeroSizeMp3,
    MissingStoredFile,          // listed in the manifest, absent from the folder
    NonMediaDomain,             // media file in HomeDomain or an application's domain
    CameraRollPathInAppDomain,  // "Media/DCIM/" inside an application's domain
    CutOffRecord,               // lies past the end of a truncated manifest
    HeicWithBackupThumbnail,    // HEIC photo whose thumbnail the backup keeps as its own record
    HeicWithoutThumbnail,       // HEIC photo without one: only the picture itself can show it
    BackupThumbnail,            // "Media/PhotoData/Thumbnails/V2/<photo path>/5003.JPG"
    EncryptedContent,           // stored file of an encrypted backup: bytes no one can read
};

// Which manifest a backup has.
enum class ManifestKind : std::uint8_t {
    Mbdb,  // Manifest.mbdb, stored files directly in the backup folder
    Db,    // Manifest.db, stored files in sub-folders named by their first two characters
};

enum class InfoPlistForm : std::uint8_t { Xml, Binary, Missing, Corrupt };

enum class SamplePreset : std::uint8_t {
    Full,   // includes full-size 12-megapixel camera photos
    Small,  // small pictures only, for quick tests
};

// How an encrypted sample backup is locked. The key from the password is derived with PBKDF2:
// `iterations` rounds of HMAC-SHA1 (the keybag's ITER), preceded in Manifest.db backups by
// `dpIterations` rounds of HMAC-SHA256 (DPIC). Devices use 10,000 and 10,000,000; the defaults
// keep the samples quick to open.
struct Encryption {
    std::string password = "pixhaven";
    std::uint32_t iterations = 1000;
    std::uint32_t dpIterations = 1000;
};

struct SampleOptions {
    std::filesystem::path out;
    std::uint64_t seed = 1;
    SamplePreset preset = SamplePreset::Full;
    // When largeFiles > 0, one more backup with this many records, largePhotos of them pictures,
    // drawn from a pool of a few hundred encoded pictures.
    std::size_t largeFiles = 0;
    std::size_t largePhotos = 0;
    bool largeEncrypted = false;  // the large backup encrypted as the other two are
    // For the two encrypted copies of the first backup, one per manifest kind.
    Encryption encryption;
};

struct RecordReport {
    std::optional<std::string> domain;
    std::optional<std::string> path;
    std::string storedName;
    std::uint16_t mode = 0;
    std::uint64_t size = 0;  // as the manifest states it
    std::uint32_t modified = 0;
    std::uint32_t created = 0;
    Content content = Content::None;
    Trap trap = Trap::None;
    bool storedFileExists = false;
    // False when the record is cut off by a truncated manifest or listed in an encrypted backup
    // that no password opens.
    bool readable = true;
    // Lower-case hexadecimal SHA-1 of the stored file's plaintext; empty when there is no stored
    // file, or nobody knows its plaintext (the locked backup).
    std::string contentSha1;
    // In a backup encrypted with a known password, the class whose key wraps the file's own key;
    // 0 for folders, links and records of other backups.
    std::uint32_t protectionClass = 0;
    int width = 0;  // pictures only
    int height = 0;
    int frames = 0;        // GIFs only
    bool hasExif = false;  // JPEGs with an EXIF block and thumbnail
};

struct BackupReport {
    // The device id (40 lower-case hexadecimal characters, or 25 characters "00008030-…" for newer
    // devices), followed by "-YYYYMMDD-HHMMSS" for a snapshot folder.
    std::string folderName;
    std::filesystem::path folder;
    InfoPlistForm infoPlist = InfoPlistForm::Xml;
    std::string infoPlistFileName;  // "info.plist", "Info.plist", or empty when missing
    // The fourteen device-fact keys and their texts; empty when the file is missing or corrupt.
    std::vector<std::pair<std::string, std::string>> deviceFacts;
    bool manifestTruncated = false;
    ManifestKind manifest = ManifestKind::Mbdb;
    // Manifest.plist says IsEncrypted. With `encryption` the backup opens with its password:
    // stored files (and Manifest.db) hold the same plaintext as those of `sameFilesAs`, each
    // encrypted with its own key; the manifest sizes are the plaintext's. Without it no password
    // opens the backup: its keybag is for a password drawn at random, and Manifest.db and the
    // stored files are random bytes.
    bool encrypted = false;
    std::optional<Encryption> encryption;
    // The index of the plain old-format backup whose files this one lists too (records without a
    // domain or a path apart, which Manifest.db cannot hold).
    std::optional<std::size_t> sameFilesAs;
    std::vector<RecordReport> records;

    bool HasInfoPlist() const { return infoPlist != InfoPlistForm::Missing; }
    std::filesystem::path StoredFile(const RecordReport& record) const {
        if (manifest == ManifestKind::Db) {
            return folder / record.storedName.substr(0, 2) / record.storedName;
        }
        return folder / record.storedName;
    }
};

struct SampleReport {
    std::filesystem::path root;
    std::uint64_t seed = 0;
    std::vector<BackupReport> backups;
};

class SampleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file that marks a folder as written by the generator, so it may be written again.
inline constexpr std::string_view kMarkerFileName = ".pixhaven-samplegen";

// Writes the sample root into options.out. The folder must be missing, empty, or made by an
// earlier run (its marker file); otherwise throws SampleError and writes nothing.
SampleReport GenerateSampleRoot(const SampleOptions& options);

std::string_view ContentName(Content content);
std::string_view TrapName(Trap trap);
std::string_view InfoPlistFormName(InfoPlistForm form);
std::string_view ManifestKindName(ManifestKind kind);

// The report as JSON, for other tools and test suites.
std::string ReportToJson(const SampleReport& report);

}  // namespace pixhaven::samplegen
