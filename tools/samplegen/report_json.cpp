// The generator's report as JSON, and the names its enumerations have there.
#include "platform/jsonwriter.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

void WriteOptional(json::Writer& json, const std::optional<std::string>& text) {
    if (text) {
        json.String(*text);
    } else {
        json.Null();
    }
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

void WriteRecord(json::Writer& json, const RecordReport& r) {
    json.BeginObject().Key("domain");
    WriteOptional(json, r.domain);
    json.Key("path");
    WriteOptional(json, r.path);
    json.Member("storedName", r.storedName)
        .Member("mode", r.mode)
        .Member("size", r.size)
        .Member("modified", r.modified)
        .Member("created", r.created)
        .Member("content", ContentName(r.content))
        .Member("trap", TrapName(r.trap))
        .Member("storedFileExists", r.storedFileExists)
        .Member("readable", r.readable);
    if (r.width > 0) {
        json.Member("width", r.width).Member("height", r.height);
    }
    if (r.frames > 0) {
        json.Member("frames", r.frames);
    }
    if (r.hasExif) {
        json.Member("exif", true);
    }
    if (!r.contentSha1.empty()) {
        json.Member("contentSha1", r.contentSha1);
    }
    if (r.protectionClass != 0) {
        json.Member("protectionClass", r.protectionClass);
    }
    json.EndObject();
}

void WriteBackup(json::Writer& json, const BackupReport& b) {
    json.BeginObject()
        .Member("folder", b.folderName)
        .Member("path", PathText(b.folder))
        .Member("infoPlist", InfoPlistFormName(b.infoPlist))
        .Member("infoPlistFile", b.infoPlistFileName)
        .Key("deviceFacts")
        .BeginObject();
    for (const auto& [key, value] : b.deviceFacts) {
        json.Member(key, value);
    }
    json.EndObject()
        .Member("manifestTruncated", b.manifestTruncated)
        .Member("manifest", ManifestKindName(b.manifest))
        .Member("encrypted", b.encrypted);
    if (b.encryption) {
        // The layout follows the manifest: the newer keybag derives the key in two rounds.
        const bool modern = b.manifest == ManifestKind::Db;
        json.Key("encryption")
            .BeginObject()
            .Member("password", b.encryption->password)
            .Member("layout", modern ? "modern" : "old")
            .Member("iterations", b.encryption->iterations);
        if (modern) {
            json.Member("dpIterations", b.encryption->dpIterations);
        }
        json.EndObject();
    }
    if (b.sameFilesAs) {
        json.Member("sameFilesAs", *b.sameFilesAs);
    }
    json.Key("records").BeginArray("\n");
    for (const RecordReport& record : b.records) {
        WriteRecord(json, record);
    }
    json.EndArray().EndObject();
}

}  // namespace

// Compact, one record a line.
std::string ReportToJson(const SampleReport& report) {
    json::Writer json(json::kCompact);
    json.BeginObject()
        .Member("root", PathText(report.root))
        .Member("seed", report.seed)
        .Key("backups")
        .BeginArray("\n");
    for (const BackupReport& backup : report.backups) {
        WriteBackup(json, backup);
    }
    json.EndArray().EndObject();
    return json.Take() + "\n";
}

std::string_view ContentName(Content content) {
    switch (content) {
        case Content::None:
            return "none";
        case Content::Jpeg:
            return "jpeg";
        case Content::JpegWithoutEnd:
            return "jpeg-without-end";
        case Content::Png:
            return "png";
        case Content::Bmp:
            return "bmp";
        case Content::Gif89a:
            return "gif89a";
        case Content::Gif87a:
            return "gif87a";
        case Content::TiffBigEndian:
            return "tiff-big-endian";
        case Content::TiffLittleEndian:
            return "tiff-little-endian";
        case Content::QuickTime:
            return "quicktime";
        case Content::Mp4:
            return "mp4";
        case Content::M4a:
            return "m4a";
        case Content::ThreeGpp:
            return "3gp";
        case Content::Mp3:
            return "mp3";
        case Content::Empty:
            return "empty";
        case Content::Other:
            return "other";
        case Content::Heic:
            return "heic";
    }
    return "unknown";
}

std::string_view TrapName(Trap trap) {
    switch (trap) {
        case Trap::None:
            return "none";
        case Trap::DomainRoot:
            return "domain-root";
        case Trap::Folder:
            return "folder";
        case Trap::SymbolicLink:
            return "symbolic-link";
        case Trap::AbsentDomain:
            return "absent-domain";
        case Trap::AbsentPath:
            return "absent-path";
        case Trap::SizeOver4GiB:
            return "size-over-4gib";
        case Trap::JpegLongExtension:
            return "jpeg-long-extension";
        case Trap::JpegWithoutSignature:
            return "jpeg-without-signature";
        case Trap::JpegWithoutEnd:
            return "jpeg-without-end";
        case Trap::JpegTrailingBytes:
            return "jpeg-trailing-bytes";
        case Trap::JpegTooShort:
            return "jpeg-too-short";
        case Trap::MixedCaseExtension:
            return "mixed-case-extension";
        case Trap::PhotoStreamPng:
            return "photo-stream-png";
        case Trap::PngWithoutSignature:
            return "png-without-signature";
        case Trap::PngInFolderName:
            return "png-in-folder-name";
        case Trap::AttachmentJpeg:
            return "attachment-jpeg";
        case Trap::AttachmentPng:
            return "attachment-png";
        case Trap::AttachmentBmp:
            return "attachment-bmp";
        case Trap::AttachmentDoubleExtension:
            return "attachment-double-extension";
        case Trap::NonAsciiName:
            return "non-ascii-name";
        case Trap::BmpWithoutSignature:
            return "bmp-without-signature";
        case Trap::GifWithoutSignature:
            return "gif-without-signature";
        case Trap::TiffWithoutSignature:
            return "tiff-without-signature";
        case Trap::TifExtension:
            return "tif-extension";
        case Trap::ZeroSizeMp3:
            return "zero-size-mp3";
        case Trap::MissingStoredFile:
            return "missing-stored-file";
        case Trap::NonMediaDomain:
            return "non-media-domain";
        case Trap::CameraRollPathInAppDomain:
            return "camera-roll-path-in-app-domain";
        case Trap::CutOffRecord:
            return "cut-off-record";
        case Trap::HeicWithBackupThumbnail:
            return "heic-with-backup-thumbnail";
        case Trap::HeicWithoutThumbnail:
            return "heic-without-thumbnail";
        case Trap::BackupThumbnail:
            return "backup-thumbnail";
        case Trap::EncryptedContent:
            return "encrypted-content";
    }
    return "unknown";
}

std::string_view ManifestKindName(ManifestKind kind) {
    return kind == ManifestKind::Db ? "manifest.db" : "manifest.mbdb";
}

}  // namespace pixhaven::samplegen
