// The sample backup root: manifests read back with the real reader, stored files where the
// report says, pictures that decode, info.plist forms, determinism and the output-folder guard.
#include <gtest/gtest.h>

#include <libheif/heif.h>
#include <plist/plist.h>

#include <map>
#include <set>

#include "backup/backupmanifest.h"
#include "backup/manifest.h"
#include "backup/manifestdb.h"
#include "tests/support/tempdir.h"
#include "tests/tools/decoders.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

SampleOptions SmallOptions(const fs::path& out, std::uint64_t seed = 3) {
    SampleOptions options;
    options.out = out;
    options.seed = seed;
    options.preset = SamplePreset::Small;
    return options;
}

// One small sample root shared by the read-only tests of this file.
class SampleRoot : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        report_ = std::make_unique<SampleReport>(GenerateSampleRoot(SmallOptions(folder_->path())));
    }
    static void TearDownTestSuite() {
        report_.reset();
        folder_.reset();
    }
    static const SampleReport& Report() { return *report_; }

    // The stored files that hold their plaintext: those of backups without a password.
    template <typename Visit>
    static void ForEachStoredFile(Visit visit) {
        for (const BackupReport& backup : Report().backups) {
            if (backup.encryption) {
                continue;
            }
            for (const RecordReport& record : backup.records) {
                if (record.storedFileExists) {
                    visit(record, ReadFile(backup.StoredFile(record)));
                }
            }
        }
    }

private:
    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::unique_ptr<SampleReport> report_;
};

bool IsOldFormat(const BackupReport& backup) {
    return backup.manifest == ManifestKind::Mbdb;
}

TEST_F(SampleRoot, HasTheFiveOldKindsOfBackupThenFourModernOnesThenTwoEncryptedCopies) {
    ASSERT_EQ(Report().backups.size(), 11u);
    std::vector<InfoPlistForm> forms;
    for (const BackupReport& backup : Report().backups) {
        SCOPED_TRACE(backup.folderName);
        forms.push_back(backup.infoPlist);
        const bool old = IsOldFormat(backup);
        EXPECT_EQ(fs::is_regular_file(backup.folder / "Manifest.mbdb"), old);
        EXPECT_EQ(fs::is_regular_file(backup.folder / "Manifest.db"), !old);
        EXPECT_EQ(fs::is_regular_file(backup.folder / "Manifest.plist"), !old || backup.encrypted);
    }
    EXPECT_EQ(forms, (std::vector<InfoPlistForm>{
                         InfoPlistForm::Xml, InfoPlistForm::Binary, InfoPlistForm::Missing,
                         InfoPlistForm::Corrupt, InfoPlistForm::Xml, InfoPlistForm::Xml,
                         InfoPlistForm::Binary, InfoPlistForm::Binary, InfoPlistForm::Xml,
                         InfoPlistForm::Xml, InfoPlistForm::Binary}));
    EXPECT_TRUE(Report().backups[4].manifestTruncated);
    for (const std::size_t i : {0u, 1u, 2u, 3u, 4u, 5u, 8u, 9u, 10u}) {
        const std::string& name = Report().backups[i].folderName;
        EXPECT_EQ(name.size(), 40u) << name;
        EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
    }
    const std::string& newer = Report().backups[6].folderName;
    EXPECT_EQ(newer.size(), 25u);
    EXPECT_EQ(newer.rfind("00008030-", 0), 0u);
    EXPECT_EQ(newer.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << newer;
    EXPECT_EQ(Report().backups[7].folderName, newer + "-20240315-101530");
    EXPECT_EQ(Report().backups[5].sameFilesAs, std::optional<std::size_t>(0));
    EXPECT_TRUE(Report().backups[8].encrypted);
    EXPECT_FALSE(Report().backups[8].encryption) << "no password opens it";
    // The encrypted copies and the plain backups of the same manifest kind and files.
    for (const auto& [encrypted, plain] : {std::pair(9u, 0u), std::pair(10u, 5u)}) {
        const BackupReport& copy = Report().backups[encrypted];
        EXPECT_TRUE(copy.encrypted && copy.encryption);
        EXPECT_EQ(copy.sameFilesAs, std::optional<std::size_t>(0));
        EXPECT_EQ(copy.manifest, Report().backups[plain].manifest);
        EXPECT_EQ(copy.records.size(), Report().backups[plain].records.size());
    }
}

TEST_F(SampleRoot, ManifestsReadBackAsReported) {
    for (const BackupReport& backup : Report().backups) {
        if (!IsOldFormat(backup)) {
            continue;
        }
        SCOPED_TRACE(backup.folderName);
        const auto manifest = backup::ReadManifest(backup.folder / "Manifest.mbdb");
        ASSERT_TRUE(manifest);
        std::vector<const RecordReport*> readable;
        for (const RecordReport& record : backup.records) {
            if (record.readable) {
                readable.push_back(&record);
            }
        }
        ASSERT_EQ(manifest->size(), readable.size());
        for (std::size_t i = 0; i < readable.size(); ++i) {
            const RecordReport& expected = *readable[i];
            const backup::ManifestRecord& actual = (*manifest)[i];
            EXPECT_EQ(actual.Domain(), expected.domain);
            EXPECT_EQ(actual.Path(), expected.path);
            EXPECT_EQ(actual.StoredName(), expected.storedName);
            EXPECT_EQ(backup::MakeStoredName(expected.domain, expected.path), expected.storedName);
            EXPECT_EQ(actual.mode, expected.mode);
            EXPECT_EQ(actual.size, static_cast<std::uint32_t>(expected.size));
            EXPECT_EQ(actual.modified, expected.modified);
            EXPECT_EQ(actual.created, expected.created);
        }
    }
}

TEST_F(SampleRoot, ModernManifestsReadBackAsReported) {
    for (const BackupReport& backup : Report().backups) {
        if (IsOldFormat(backup) || backup.encrypted) {
            continue;
        }
        SCOPED_TRACE(backup.folderName);
        const auto manifest = backup::ReadManifestDb(backup.folder / "Manifest.db");
        ASSERT_TRUE(manifest);
        ASSERT_EQ(manifest->size(), backup.records.size());
        int folders = 0, links = 0;
        for (std::size_t i = 0; i < backup.records.size(); ++i) {
            const RecordReport& expected = backup.records[i];
            const backup::ManifestRecord& actual = (*manifest)[i];
            EXPECT_EQ(actual.Domain(), expected.domain);
            EXPECT_EQ(actual.Path(), expected.path);
            EXPECT_EQ(actual.StoredName(), expected.storedName);
            EXPECT_EQ(actual.StoredFile(backup.folder), backup.StoredFile(expected));
            EXPECT_EQ(actual.mode, expected.mode);
            EXPECT_EQ(actual.size, static_cast<std::uint32_t>(expected.size));
            EXPECT_EQ(actual.modified, expected.modified);
            EXPECT_EQ(actual.created, expected.created);
            const bool folder = (expected.mode & 0170000) == 040000;
            const bool link = expected.trap == Trap::SymbolicLink;
            EXPECT_EQ(actual.HasContent(), !folder && !link) << expected.path.value_or("");
            folders += folder ? 1 : 0;
            links += link ? 1 : 0;
        }
        EXPECT_GT(folders, 3);
        EXPECT_EQ(links > 0, backup.folderName.size() != 25u + 16u) << "the snapshot has none";
    }
}

TEST_F(SampleRoot, ModernTwinListsTheOldBackupsFilesThatManifestDbCanHold) {
    const BackupReport& twin = Report().backups[5];
    const BackupReport& old = Report().backups[*twin.sameFilesAs];
    std::vector<const RecordReport*> holdable;
    for (const RecordReport& record : old.records) {
        if (record.domain && record.path) {
            holdable.push_back(&record);
        }
    }
    ASSERT_EQ(twin.records.size(), holdable.size());
    EXPECT_LT(holdable.size(), old.records.size()) << "the records without domain or path";
    for (std::size_t i = 0; i < holdable.size(); ++i) {
        const RecordReport& a = *holdable[i];
        const RecordReport& b = twin.records[i];
        EXPECT_EQ(a.path, b.path);
        EXPECT_EQ(a.storedName, b.storedName);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.trap, b.trap);
        EXPECT_EQ(a.storedFileExists, b.storedFileExists);
        if (a.storedFileExists) {
            EXPECT_EQ(ReadFile(old.StoredFile(a)), ReadFile(twin.StoredFile(b)));
        }
    }
}

// Width and height of a HEIC picture through libheif; none when it does not decode.
std::optional<std::pair<int, int>> HeicSize(const std::string& bytes) {
    heif_context* context = heif_context_alloc();
    std::optional<std::pair<int, int>> size;
    heif_image_handle* handle = nullptr;
    if (heif_context_read_from_memory_without_copy(context, bytes.data(), bytes.size(), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        heif_image* image = nullptr;
        if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              nullptr)
                .code == heif_error_Ok) {
            size = std::pair(heif_image_get_width(image, heif_channel_interleaved),
                             heif_image_get_height(image, heif_channel_interleaved));
            heif_image_release(image);
        }
        heif_image_handle_release(handle);
    }
    heif_context_free(context);
    return size;
}

TEST_F(SampleRoot, HeicPhotosDecodeAndSomeHaveTheBackupsOwnThumbnail) {
    const BackupReport& backup = Report().backups[6];
    std::map<std::string, const RecordReport*> byPath;
    for (const RecordReport& record : backup.records) {
        byPath[record.domain.value_or("") + "/" + record.path.value_or("")] = &record;
    }
    std::map<std::string, int> withThumbnail, without;  // by domain
    for (const RecordReport& record : backup.records) {
        if (record.content != Content::Heic || !record.storedFileExists) {
            continue;
        }
        SCOPED_TRACE(*record.path);
        const std::string bytes = ReadFile(backup.StoredFile(record));
        EXPECT_EQ(bytes.substr(4, 8), "ftypheic");
        EXPECT_EQ(HeicSize(bytes), std::pair(record.width, record.height));
        const auto thumbnail = byPath.find(*record.domain + "/Media/PhotoData/Thumbnails/V2/" +
                                           *record.path + "/5003.JPG");
        const bool hasThumbnail = thumbnail != byPath.end();
        EXPECT_EQ(hasThumbnail, record.trap == Trap::HeicWithBackupThumbnail);
        if (hasThumbnail) {
            const RecordReport& jpeg = *thumbnail->second;
            EXPECT_EQ(jpeg.trap, Trap::BackupThumbnail);
            EXPECT_EQ(jpeg.content, Content::Jpeg);
            EXPECT_TRUE(test::DecodeJpeg(ReadFile(backup.StoredFile(jpeg))));
        }
        ++(hasThumbnail ? withThumbnail : without)[*record.domain];
    }
    for (const char* domain : {"CameraRollDomain", "MediaDomain"}) {
        EXPECT_GE(withThumbnail[domain], 1) << domain;
        EXPECT_GE(without[domain], 1) << domain;
    }
}

std::optional<bool> MarkedEncrypted(const fs::path& manifestPlist);

TEST_F(SampleRoot, OnlyTheEncryptedBackupsAreMarkedAndOnlyTheLockedOneIsUnreadable) {
    for (const BackupReport& backup : Report().backups) {
        if (IsOldFormat(backup) && !backup.encrypted) {
            continue;
        }
        SCOPED_TRACE(backup.folderName);
        EXPECT_EQ(MarkedEncrypted(backup.folder / "Manifest.plist"), backup.encrypted);
        if (IsOldFormat(backup)) {
            continue;
        }
        const std::string header = ReadFile(backup.folder / "Manifest.db").substr(0, 16);
        EXPECT_EQ(header == std::string("SQLite format 3\0", 16), !backup.encrypted);
        const backup::BackupManifest opened = backup::OpenBackupManifest(backup.folder);
        EXPECT_EQ(opened.problem, backup.encrypted ? backup::ManifestProblem::PasswordNeeded
                                                   : backup::ManifestProblem::None);
        const bool locked = backup.encrypted && !backup.encryption;
        for (const RecordReport& record : backup.records) {
            EXPECT_EQ(record.readable, !locked);
            if (locked) {
                EXPECT_EQ(fs::file_size(backup.StoredFile(record)), record.size);
            }
        }
    }
}

TEST_F(SampleRoot, ManifestFieldsCoverTheReaderEdgeCases) {
    const auto manifest = backup::ReadManifest(Report().backups[0].folder / "Manifest.mbdb");
    ASSERT_TRUE(manifest);
    bool bothInodeHalves = false, threeProperties = false, link = false, key = false,
         allTimesZero = false;
    for (const backup::ManifestRecord& record : *manifest) {
        bothInodeHalves |= record.inodeHigh != 0 && record.inodeLow != 0;
        threeProperties |= record.propertyCount == 3;
        link |= record.LinkTarget().has_value();
        key |= record.EncryptionKey().has_value();
        allTimesZero |= record.modified == 0 && record.accessed == 0 && record.created == 0;
        if (record.mode == 040755) {
            EXPECT_FALSE(record.DataHash()) << "folders carry no data hash";
        }
    }
    EXPECT_TRUE(bothInodeHalves);
    EXPECT_TRUE(threeProperties);
    EXPECT_TRUE(link);
    EXPECT_TRUE(key);
    EXPECT_TRUE(allTimesZero);
}

TEST_F(SampleRoot, StoredFilesAreExactlyWhereTheReportSays) {
    for (const BackupReport& backup : Report().backups) {
        std::set<std::string> expected = {"Manifest.mbdb"};
        if (!IsOldFormat(backup)) {
            expected = {"Manifest.db", "Manifest.plist"};
        } else if (backup.encrypted) {
            expected.insert("Manifest.plist");
        }
        // Encryption pads the plaintext to whole 16-byte blocks, adding one when it fills its last.
        const auto storedSize = [&backup](std::uint64_t size) {
            return backup.encryption ? (size / 16 + 1) * 16 : size;
        };
        if (backup.HasInfoPlist()) {
            expected.insert(backup.infoPlistFileName);
        }
        for (const RecordReport& record : backup.records) {
            if (record.storedFileExists) {
                expected.insert(
                    fs::relative(backup.StoredFile(record), backup.folder).generic_string());
                if (record.trap != Trap::SizeOver4GiB) {
                    EXPECT_EQ(fs::file_size(backup.StoredFile(record)), storedSize(record.size))
                        << record.path.value_or("(null)");
                }
            }
        }
        std::set<std::string> present;
        for (const auto& entry : fs::recursive_directory_iterator(backup.folder)) {
            if (!entry.is_directory()) {
                present.insert(fs::relative(entry.path(), backup.folder).generic_string());
            }
        }
        EXPECT_EQ(present, expected) << backup.folderName;
    }
}

// The signature tests of the media scan, applied to what the report says each file holds.
TEST_F(SampleRoot, ContentKindsMatchTheFileSignatures) {
    ForEachStoredFile([](const RecordReport& record, const std::string& bytes) {
        SCOPED_TRACE(record.path.value_or("(null)"));
        const Content c = record.content;
        const bool jpegStart = bytes.size() >= 3 && bytes.substr(0, 3) == "\xFF\xD8\xFF";
        const bool jpegEnd = bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\xFF\xD9";
        EXPECT_EQ(jpegStart && jpegEnd, c == Content::Jpeg);
        EXPECT_EQ(jpegStart && !jpegEnd, c == Content::JpegWithoutEnd);
        EXPECT_EQ(bytes.rfind("\x89PNG", 0) == 0, c == Content::Png);
        EXPECT_EQ(bytes.rfind("BM", 0) == 0, c == Content::Bmp);
        EXPECT_EQ(bytes.rfind("GIF89a", 0) == 0, c == Content::Gif89a);
        EXPECT_EQ(bytes.rfind("GIF87a", 0) == 0, c == Content::Gif87a);
        EXPECT_EQ(bytes.rfind(std::string("MM\0*", 4), 0) == 0, c == Content::TiffBigEndian);
        EXPECT_EQ(bytes.rfind(std::string("II*\0", 4), 0) == 0, c == Content::TiffLittleEndian);
        EXPECT_EQ(bytes.empty(), c == Content::Empty);
    });
}

TEST_F(SampleRoot, PicturesDecodeAtTheirReportedSizes) {
    int pictures = 0;
    ForEachStoredFile([&pictures](const RecordReport& record, const std::string& bytes) {
        SCOPED_TRACE(record.path.value_or("(null)"));
        std::optional<test::DecodedImage> image;
        switch (record.content) {
            case Content::Jpeg:
                image = test::DecodeJpeg(bytes);
                break;
            case Content::Png:
                image = test::DecodePng(bytes);
                break;
            case Content::Bmp:
                image = test::DecodeBmp(bytes);
                break;
            case Content::TiffBigEndian:
            case Content::TiffLittleEndian:
                image = test::DecodeTiff(bytes);
                break;
            case Content::Gif89a:
            case Content::Gif87a: {
                const test::GifInfo gif = test::DecodeGif(bytes);
                EXPECT_TRUE(gif.complete);
                EXPECT_EQ(static_cast<int>(gif.frames.size()), record.frames);
                EXPECT_EQ(gif.width, record.width);
                EXPECT_EQ(gif.height, record.height);
                ++pictures;
                return;
            }
            default:
                return;
        }
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, record.width);
        EXPECT_EQ(image->height, record.height);
        if (record.hasExif) {
            const auto exif = test::ReadExif(bytes);
            ASSERT_TRUE(exif);
            EXPECT_TRUE(test::DecodeJpeg(exif->thumbnail));
        }
        ++pictures;
    });
    EXPECT_GT(pictures, 60);
}

TEST_F(SampleRoot, EveryTrapIsLaid) {
    std::set<Trap> seen;
    for (const BackupReport& backup : Report().backups) {
        for (const RecordReport& record : backup.records) {
            seen.insert(record.trap);
        }
    }
    for (int trap = 0; trap <= static_cast<int>(Trap::EncryptedContent); ++trap) {
        EXPECT_TRUE(seen.count(static_cast<Trap>(trap))) << TrapName(static_cast<Trap>(trap));
    }
}

TEST_F(SampleRoot, EveryMediaGroupHasCandidatesInTheMainBackup) {
    // Extension texts of the thirteen groups; source groups by their folders.
    const std::vector<std::vector<std::string>> groups = {{"Media/DCIM/"},
                                                          {"Media/PhotoStreamsData/"},
                                                          {"Library/SMS/Attachments/"},
                                                          {".jpg", ".JPG", ".jpeg", ".JPEG"},
                                                          {".png", ".PNG"},
                                                          {".bmp", ".BMP"},
                                                          {".gif", ".GIF"},
                                                          {".tiff", ".TIFF"},
                                                          {".mov", ".MOV"},
                                                          {".mp3", ".MP3"},
                                                          {".mp4", ".MP4"},
                                                          {".m4a", ".M4A"},
                                                          {".3gp", ".3GP"}};
    for (const auto& needles : groups) {
        std::set<std::string> matched;
        for (const RecordReport& record : Report().backups[0].records) {
            for (const std::string& needle : needles) {
                if (record.path && record.path->find(needle) != std::string::npos) {
                    matched.insert(needle);
                }
            }
        }
        EXPECT_FALSE(matched.empty()) << needles.front();
        if (needles.front().front() == '.') {
            EXPECT_EQ(matched.size(), needles.size()) << "every spelling of " << needles.front();
        }
    }
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistDeleter>;

Plist ParsePlist(const std::string& bytes) {
    plist_t root = nullptr;
    if (bytes.rfind("bplist00", 0) == 0) {
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    } else {
        plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    }
    return Plist(root);
}

std::string StringValue(plist_t dict, const std::string& key) {
    plist_t node = plist_dict_get_item(dict, key.c_str());
    char* text = nullptr;
    if (node != nullptr && plist_get_node_type(node) == PLIST_STRING) {
        plist_get_string_val(node, &text);
    }
    std::string value = text != nullptr ? text : "<missing>";
    std::free(text);
    return value;
}

std::optional<bool> MarkedEncrypted(const fs::path& manifestPlist) {
    const Plist root = ParsePlist(ReadFile(manifestPlist));
    plist_t flag = root ? plist_dict_get_item(root.get(), "IsEncrypted") : nullptr;
    if (flag == nullptr || plist_get_node_type(flag) != PLIST_BOOLEAN) {
        return std::nullopt;
    }
    std::uint8_t value = 0;
    plist_get_bool_val(flag, &value);
    return value != 0;
}

TEST_F(SampleRoot, InfoPlistsHoldTheReportedDeviceFacts) {
    for (const BackupReport& backup : Report().backups) {
        if (backup.infoPlist != InfoPlistForm::Xml && backup.infoPlist != InfoPlistForm::Binary) {
            continue;
        }
        const std::string bytes = ReadFile(backup.folder / backup.infoPlistFileName);
        EXPECT_EQ(bytes.rfind("bplist00", 0) == 0, backup.infoPlist == InfoPlistForm::Binary);
        const Plist root = ParsePlist(bytes);
        ASSERT_TRUE(root) << backup.folderName;
        ASSERT_EQ(backup.deviceFacts.size(), 14u);
        for (const auto& [key, text] : backup.deviceFacts) {
            if (key == "Last Backup Date") {
                plist_t date = plist_dict_get_item(root.get(), key.c_str());
                ASSERT_TRUE(date != nullptr && plist_get_node_type(date) == PLIST_DATE);
            } else {
                EXPECT_EQ(StringValue(root.get(), key), text) << key;
            }
        }
        // A snapshot folder's name is its device's id with the date and time after it.
        const std::string target = StringValue(root.get(), "Target Identifier");
        EXPECT_EQ(backup.folderName.rfind(target, 0), 0u);
        EXPECT_TRUE(target.size() == backup.folderName.size() ||
                    backup.folderName.substr(target.size()) == "-20240315-101530")
            << backup.folderName;
        EXPECT_NE(plist_dict_get_item(root.get(), "Applications"), nullptr) << "extra keys too";
    }
}

TEST_F(SampleRoot, BinaryInfoPlistConvertsToTheXmlTheReportDescribes) {
    const BackupReport& backup = Report().backups[1];
    EXPECT_EQ(backup.infoPlistFileName, "Info.plist");
    const Plist root = ParsePlist(ReadFile(backup.folder / "Info.plist"));
    ASSERT_TRUE(root);
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    ASSERT_NE(xml, nullptr);
    const std::string text(xml, length);
    plist_to_xml_free(xml);
    for (const auto& [key, value] : backup.deviceFacts) {
        EXPECT_NE(text.find("<key>" + key + "</key>"), std::string::npos) << key;
        EXPECT_NE(text.find(">" + value + "<"), std::string::npos) << key << ": " << value;
    }
    EXPECT_NE(text.find("Zo\xC3\xAB\xE2\x80\x99s iPhone"), std::string::npos);
}

TEST_F(SampleRoot, MissingAndCorruptInfoPlists) {
    const BackupReport& missing = Report().backups[2];
    EXPECT_FALSE(missing.HasInfoPlist());
    EXPECT_FALSE(fs::exists(missing.folder / "info.plist"));
    EXPECT_FALSE(fs::exists(missing.folder / "Info.plist"));

    const BackupReport& corrupt = Report().backups[3];
    EXPECT_TRUE(corrupt.deviceFacts.empty());
    const std::string bytes = ReadFile(corrupt.folder / "info.plist");
    EXPECT_NE(bytes.find("<plist"), std::string::npos);
    EXPECT_EQ(bytes.find("</plist>"), std::string::npos) << "the document is cut short";
    EXPECT_TRUE(backup::ReadManifest(corrupt.folder / "Manifest.mbdb")) << "the rest is sound";
}

TEST_F(SampleRoot, TruncatedManifestEndsInsideItsLastRecord) {
    const BackupReport& backup = Report().backups[4];
    ASSERT_FALSE(backup.records.empty());
    const RecordReport& last = backup.records.back();
    EXPECT_FALSE(last.readable);
    EXPECT_EQ(last.trap, Trap::CutOffRecord);
    const std::string bytes = ReadFile(backup.folder / "Manifest.mbdb");
    EXPECT_EQ(bytes.find(*last.path), std::string::npos) << "its path is cut";
    const auto manifest = backup::ReadManifest(backup.folder / "Manifest.mbdb");
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->size(), backup.records.size() - 1);
}

TEST(SampleGenerator, SameSeedWritesTheSameBytes) {
    test::TempDir first, second, other;
    GenerateSampleRoot(SmallOptions(first.path(), 11));
    GenerateSampleRoot(SmallOptions(second.path(), 11));
    GenerateSampleRoot(SmallOptions(other.path(), 12));
    const auto a = test::ContentsBelow(first.path());
    EXPECT_GT(a.size(), 200u);
    EXPECT_TRUE(a == test::ContentsBelow(second.path()));
    EXPECT_FALSE(a == test::ContentsBelow(other.path()));
}

TEST(SampleGenerator, RefusesAFolderItDidNotMake) {
    test::TempDir dir;
    test::WriteFile(dir / "notes.txt", "mine");
    EXPECT_THROW(GenerateSampleRoot(SmallOptions(dir.path())), SampleError);
    EXPECT_EQ(test::ContentsBelow(dir.path()).size(), 1u) << "nothing written";
    EXPECT_EQ(ReadFile(dir / "notes.txt"), "mine");

    test::WriteFile(dir / "file", "x");
    EXPECT_THROW(GenerateSampleRoot(SmallOptions(dir / "file")), SampleError) << "not a folder";
}

TEST(SampleGenerator, RewritesItsOwnOutputAndNothingElse) {
    test::TempDir dir;
    SampleOptions options = SmallOptions(dir / "root");
    options.largeFiles = 60;
    options.largePhotos = 20;
    const SampleReport withLarge = GenerateSampleRoot(options);
    ASSERT_EQ(withLarge.backups.size(), 12u);
    test::WriteFile(dir / "root" / "user-notes.txt", "keep me");

    const SampleReport plain = GenerateSampleRoot(SmallOptions(dir / "root"));
    EXPECT_EQ(plain.backups.size(), 11u);
    EXPECT_FALSE(fs::exists(withLarge.backups.back().folder)) << "the old run's backup is gone";
    EXPECT_EQ(ReadFile(dir / "root" / "user-notes.txt"), "keep me");
}

TEST(SampleGenerator, MarkerNamesCannotReachOutsideTheFolder) {
    test::TempDir dir;
    test::WriteFile(dir / "victim" / "precious.txt", "keep");
    test::WriteFile(
        dir / "root" / std::string(kMarkerFileName),
        "pixhaven-samplegen output folder\n../victim\n" + (dir / "victim").string() + "\n..\n.\n");
    GenerateSampleRoot(SmallOptions(dir / "root"));
    EXPECT_EQ(ReadFile(dir / "victim" / "precious.txt"), "keep");
}

TEST(SampleGenerator, LargeBackupDrawsPicturesFromAPool) {
    test::TempDir dir;
    SampleOptions options = SmallOptions(dir.path());
    options.largeFiles = 500;
    options.largePhotos = 200;
    const SampleReport report = GenerateSampleRoot(options);
    const BackupReport& large = report.backups.back();
    EXPECT_GE(large.records.size(), 500u);
    std::size_t photos = 0;
    std::set<std::string> distinctNames;
    for (const RecordReport& record : large.records) {
        switch (record.content) {
            case Content::Jpeg:
            case Content::Png:
            case Content::Bmp:
            case Content::Gif89a:
            case Content::TiffBigEndian:
            case Content::TiffLittleEndian:
                ++photos;
                break;
            default:
                break;
        }
        EXPECT_TRUE(distinctNames.insert(record.storedName).second) << "paths are unique";
        EXPECT_EQ(fs::exists(large.StoredFile(record)), record.storedFileExists);
    }
    EXPECT_EQ(photos, 200u);
    const auto manifest = backup::ReadManifest(large.folder / "Manifest.mbdb");
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->size(), large.records.size());
}

TEST(SampleReportJson, EscapesTextAndNamesEveryRecord) {
    SampleReport report;
    report.root = "/tmp/root";
    BackupReport& backup = report.backups.emplace_back();
    backup.folderName = "f";
    RecordReport& record = backup.records.emplace_back();
    record.domain = "Home\"Domain\\";
    record.path = std::nullopt;
    record.trap = Trap::ZeroSizeMp3;
    record.contentSha1 = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
    record.protectionClass = 3;
    backup.encryption = Encryption{};
    backup.encryption->password = "p\"w";
    const std::string json = ReportToJson(report);
    EXPECT_NE(json.find("\"domain\":\"Home\\\"Domain\\\\\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"path\":null"), std::string::npos);
    EXPECT_NE(json.find("\"trap\":\"zero-size-mp3\""), std::string::npos);
    EXPECT_NE(json.find("\"contentSha1\":\"da39a3ee5e6b4b0d3255bfef95601890afd80709\","
                        "\"protectionClass\":3"),
              std::string::npos);
    EXPECT_NE(json.find("\"encryption\":{\"password\":\"p\\\"w\",\"layout\":\"old\","
                        "\"iterations\":1000}"),
              std::string::npos)
        << json;
}

}  // namespace
}  // namespace pixhaven::samplegen
