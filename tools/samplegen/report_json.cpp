// The generator's report as JSON, and the names its enumerations have there.
#include <cstdio>

#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

void AppendEscaped(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;  // UTF-8 passes through as it stands
                }
        }
    }
    out += '"';
}

void AppendOptional(std::string& out, const std::optional<std::string>& text) {
    if (text) {
        AppendEscaped(out, *text);
    } else {
        out += "null";
    }
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

void AppendRecord(std::string& out, const RecordReport& r) {
    out += "{\"domain\":";
    AppendOptional(out, r.domain);
    out += ",\"path\":";
    AppendOptional(out, r.path);
    out += ",\"storedName\":";
    AppendEscaped(out, r.storedName);
    out += ",\"mode\":" + std::to_string(r.mode);
    out += ",\"size\":" + std::to_string(r.size);
    out += ",\"modified\":" + std::to_string(r.modified);
    out += ",\"created\":" + std::to_string(r.created);
    out += ",\"content\":";
    AppendEscaped(out, ContentName(r.content));
    out += ",\"trap\":";
    AppendEscaped(out, TrapName(r.trap));
    out += std::string(",\"storedFileExists\":") + (r.storedFileExists ? "true" : "false");
    out += std::string(",\"readable\":") + (r.readable ? "true" : "false");
    if (r.width > 0) {
        out += ",\"width\":" + std::to_string(r.width) + ",\"height\":" + std::to_string(r.height);
    }
    if (r.frames > 0) {
        out += ",\"frames\":" + std::to_string(r.frames);
    }
    if (r.hasExif) {
        out += ",\"exif\":true";
    }
    out += '}';
}

void AppendBackup(std::string& out, const BackupReport& b) {
    out += "{\"folder\":";
    AppendEscaped(out, b.folderName);
    out += ",\"path\":";
    AppendEscaped(out, PathText(b.folder));
    out += ",\"infoPlist\":";
    AppendEscaped(out, InfoPlistFormName(b.infoPlist));
    out += ",\"infoPlistFile\":";
    AppendEscaped(out, b.infoPlistFileName);
    out += ",\"deviceFacts\":{";
    for (std::size_t i = 0; i < b.deviceFacts.size(); ++i) {
        out += i == 0 ? "" : ",";
        AppendEscaped(out, b.deviceFacts[i].first);
        out += ':';
        AppendEscaped(out, b.deviceFacts[i].second);
    }
    out += std::string("},\"manifestTruncated\":") + (b.manifestTruncated ? "true" : "false");
    out += ",\"manifest\":";
    AppendEscaped(out, ManifestKindName(b.manifest));
    out += std::string(",\"encrypted\":") + (b.encrypted ? "true" : "false");
    if (b.sameFilesAs) {
        out += ",\"sameFilesAs\":" + std::to_string(*b.sameFilesAs);
    }
    out += ",\"records\":[";
    for (std::size_t i = 0; i < b.records.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        AppendRecord(out, b.records[i]);
    }
    out += "]}";
}

}  // namespace

std::string ReportToJson(const SampleReport& report) {
    std::string out = "{\"root\":";
    AppendEscaped(out, PathText(report.root));
    out += ",\"seed\":" + std::to_string(report.seed) + ",\"backups\":[";
    for (std::size_t i = 0; i < report.backups.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        AppendBackup(out, report.backups[i]);
    }
    out += "]}\n";
    return out;
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
