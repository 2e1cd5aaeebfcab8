// Encrypted backups of both layouts opened with their password: the same groups, items and
// recovered bytes as the same files unencrypted, and every way a password, key bag or file can
// fail — each refused or skipped without ciphertext ever passing for content.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "backup/backupmanifest.h"
#include "backup/manifestplist.h"
#include "tests/support/scan_session.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::backup {
namespace {

namespace fs = std::filesystem;
using samplegen::BackupReport;

const samplegen::SampleReport& Sample() {
    static const test::TempDir dir;
    static const samplegen::SampleReport report = [] {
        samplegen::SampleOptions options;
        options.out = dir / "root";
        options.preset = samplegen::SamplePreset::Small;
        return samplegen::GenerateSampleRoot(options);
    }();
    return report;
}

const BackupReport& Encrypted(samplegen::ManifestKind layout) {
    for (const BackupReport& backup : Sample().backups) {
        if (backup.encryption && backup.manifest == layout) {
            return backup;
        }
    }
    throw std::logic_error("no encrypted sample of that layout");
}

// The plain backup that lists the same files in the same layout.
const BackupReport& PlainTwin(const BackupReport& encrypted) {
    for (const BackupReport& backup : Sample().backups) {
        if (!backup.encrypted && backup.manifest == encrypted.manifest &&
            backup.sameFilesAs == encrypted.sameFilesAs) {
            return backup;
        }
    }
    return Sample().backups[*encrypted.sameFilesAs];
}

// What a scan and a recovery of everything give: per group the display names, and the recovered
// files' bytes by their path below the output folder.
struct Outcome {
    std::vector<std::vector<std::u16string>> names;
    std::map<std::string, std::string> recovered;
    RecoveryOutcome recovery;
};

Outcome ScanAndRecover(const fs::path& folder, BackupManifest opened, const fs::path& out) {
    test::SessionRun run(folder, std::move(*opened.manifest), std::move(opened.keys));
    run.Scan();
    Outcome outcome;
    for (const auto& group : run.results.groups) {
        auto& names = outcome.names.emplace_back();
        for (const auto& item : group) {
            names.push_back(item->displayName);
        }
    }
    const fs::path output = run.RecoverEverything(out);
    outcome.recovery = run.recovered;
    for (const auto& entry : fs::recursive_directory_iterator(output)) {
        if (entry.is_regular_file()) {
            outcome.recovered[fs::relative(entry.path(), output).string()] =
                test::ReadFile(entry.path());
        }
    }
    return outcome;
}

TEST(EncryptedBackup, BothLayoutsGiveWhatTheirPlainTwinGives) {
    test::TempDir out;
    for (const auto layout : {samplegen::ManifestKind::Mbdb, samplegen::ManifestKind::Db}) {
        const BackupReport& encrypted = Encrypted(layout);
        const BackupReport& plain = PlainTwin(encrypted);
        SCOPED_TRACE(encrypted.folderName);
        BackupManifest opened =
            OpenBackupManifest(encrypted.folder, encrypted.encryption->password);
        ASSERT_EQ(opened.problem, ManifestProblem::None);
        ASSERT_NE(opened.keys, nullptr);
        const Outcome fromEncrypted =
            ScanAndRecover(encrypted.folder, std::move(opened), out / encrypted.folderName);
        const Outcome fromPlain =
            ScanAndRecover(plain.folder, OpenBackupManifest(plain.folder), out / plain.folderName);
        EXPECT_EQ(fromEncrypted.names, fromPlain.names);
        EXPECT_EQ(fromEncrypted.recovered, fromPlain.recovered) << "recovered files are plaintext";
        EXPECT_EQ(fromEncrypted.recovery.written, fromPlain.recovery.written);
        EXPECT_GT(fromEncrypted.recovery.written, 20);
    }
}

TEST(EncryptedBackup, NoPasswordOrAWrongOneReadsNothing) {
    for (const auto layout : {samplegen::ManifestKind::Mbdb, samplegen::ManifestKind::Db}) {
        const BackupReport& encrypted = Encrypted(layout);
        EXPECT_EQ(OpenBackupManifest(encrypted.folder).problem, ManifestProblem::PasswordNeeded);
        const BackupManifest wrong = OpenBackupManifest(encrypted.folder, "pixhaven!");
        EXPECT_EQ(wrong.problem, ManifestProblem::WrongPassword);
        EXPECT_FALSE(wrong.manifest);
        EXPECT_EQ(wrong.keys, nullptr);
    }
}

// A copy of an encrypted sample backup that a test may damage.
class DamagedCopy : public ::testing::Test {
protected:
    void CopyOf(samplegen::ManifestKind layout) {
        source = &Encrypted(layout);
        fs::copy(source->folder, folder, fs::copy_options::recursive);
    }
    std::string Password() const { return source->encryption->password; }
    fs::path StoredFile(const samplegen::RecordReport& record) const {
        return folder / fs::relative(source->StoredFile(record), source->folder);
    }
    // Manifest.plist rewritten as XML with the keys given (none: left out).
    void WriteManifestPlist(const std::optional<std::string>& keybag,
                            const std::optional<std::string>& manifestKey) {
        std::string xml =
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
            "<key>IsEncrypted</key><true/>";
        const auto data = [&xml](const char* key, const std::optional<std::string>& bytes) {
            if (bytes) {
                xml += std::string("<key>") + key + "</key><data>" + Base64(*bytes) + "</data>";
            }
        };
        data("BackupKeyBag", keybag);
        data("ManifestKey", manifestKey);
        test::WriteFile(folder / "Manifest.plist", xml + "</dict></plist>");
    }
    ManifestPlist OriginalPlist() const {
        return ParseManifestPlist(test::ReadFile(source->folder / "Manifest.plist"));
    }
    static std::string Base64(const std::string& bytes) {
        std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
        const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                           reinterpret_cast<const unsigned char*>(bytes.data()),
                                           static_cast<int>(bytes.size()));
        text.resize(static_cast<std::size_t>(length));
        return text;
    }

    // The class and wrapped key a Manifest.mbdb record keeps for its file.
    static std::string WrappedKeyOf(const fs::path& backup, const std::string& storedName) {
        const std::optional<Manifest> manifest = ReadManifest(backup / "Manifest.mbdb");
        for (const ManifestRecord& record : *manifest) {
            if (record.StoredName() == storedName && record.EncryptionKey()) {
                return std::string(*record.EncryptionKey());
            }
        }
        return "no such record";
    }

    test::TempDir dir;
    fs::path folder = dir / "backup";
    const BackupReport* source = nullptr;
};

TEST_F(DamagedCopy, DamagedKeybagOrMissingManifestKeyIsRefused) {
    CopyOf(samplegen::ManifestKind::Db);
    const ManifestPlist original = OriginalPlist();
    ASSERT_TRUE(original.keybag && original.manifestKey);

    WriteManifestPlist(original.keybag->substr(0, original.keybag->size() - 7),
                       original.manifestKey);
    EXPECT_EQ(OpenBackupManifest(folder, Password()).problem, ManifestProblem::DamagedKeybag);

    WriteManifestPlist(original.keybag, std::nullopt);
    EXPECT_EQ(OpenBackupManifest(folder, Password()).problem, ManifestProblem::MissingManifestKey);

    std::string wrongClass = *original.manifestKey;
    wrongClass[0] = 9;  // a class whose key does not wrap this one
    WriteManifestPlist(original.keybag, wrongClass);
    EXPECT_EQ(OpenBackupManifest(folder, Password()).problem, ManifestProblem::MissingManifestKey);

    WriteManifestPlist(std::nullopt, original.manifestKey);
    EXPECT_EQ(OpenBackupManifest(folder, Password()).problem, ManifestProblem::NoKeys);
}

// Each file gone wrong in its own way is skipped and reported; the rest recover.
TEST_F(DamagedCopy, FilesThatDoNotDecryptAreReportedAndTheRestRecover) {
    CopyOf(samplegen::ManifestKind::Mbdb);
    std::vector<const samplegen::RecordReport*> movies;
    for (const auto& record : source->records) {
        if (record.content == samplegen::Content::QuickTime && record.storedFileExists &&
            record.size > 64) {
            movies.push_back(&record);
        }
    }
    ASSERT_GE(movies.size(), 3u);
    // Cut inside a block, a last block that does not unpad, and a key that does not unwrap.
    fs::resize_file(StoredFile(*movies[0]), fs::file_size(StoredFile(*movies[0])) - 5);
    std::string lastBlock = test::ReadFile(StoredFile(*movies[1]));
    lastBlock[lastBlock.size() - 20] ^= 0x40;
    lastBlock.back() ^= 0x01;
    test::WriteFile(StoredFile(*movies[1]), lastBlock);
    std::string manifest = test::ReadFile(folder / "Manifest.mbdb");
    const std::size_t keyAt = manifest.find(WrappedKeyOf(folder, movies[2]->storedName));
    ASSERT_NE(keyAt, std::string::npos);
    manifest[keyAt + 10] ^= 0x20;
    test::WriteFile(folder / "Manifest.mbdb", manifest);

    BackupManifest opened = OpenBackupManifest(folder, Password());
    ASSERT_EQ(opened.problem, ManifestProblem::None);
    test::TempDir out;
    const Outcome outcome = ScanAndRecover(folder, std::move(opened), out.path());
    std::map<FailureCause, int> causes;
    for (const RecoveryFailure& failure : outcome.recovery.failures) {
        ++causes[failure.cause];
    }
    EXPECT_EQ(causes[FailureCause::NotDecryptable], 2);
    EXPECT_EQ(causes[FailureCause::KeyUnusable], 1);
    EXPECT_GT(outcome.recovery.written, 20);
}

TEST_F(DamagedCopy, ContentShorterThanItsRecordIsNotRecovered) {
    CopyOf(samplegen::ManifestKind::Db);
    BackupManifest opened = OpenBackupManifest(folder, Password());
    ASSERT_EQ(opened.problem, ManifestProblem::None);
    // Re-encrypt one movie's content cut short, with its own key: the padding is sound, the size
    // is not.
    for (const ManifestRecord& record : *opened.manifest) {
        const auto path = record.Path();
        if (!path || !path->ends_with(".MOV") || record.size < 64) {
            continue;
        }
        const StoredContent content = StoredContentOf(record, folder, opened.keys.get());
        ASSERT_TRUE(content.key);
        const std::string plain = *ReadContent(content, 1 << 20);
        std::string cipher(plain.size() + 32, '\0');
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        const unsigned char iv[16] = {};
        int written = 0;
        int last = 0;
        EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, content.key->data(), iv);
        EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(cipher.data()), &written,
                          reinterpret_cast<const unsigned char*>(plain.data()),
                          static_cast<int>(plain.size() - 10));
        EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(cipher.data()) + written,
                            &last);
        EVP_CIPHER_CTX_free(context);
        cipher.resize(static_cast<std::size_t>(written + last));
        test::WriteFile(content.path, cipher);
        EXPECT_FALSE(ReadContent(content, 1 << 20));
        std::error_code error;
        EXPECT_EQ(CopyContent(content, dir / "short.mov", error),
                  platform::CopyResult::TransformFailed);
        EXPECT_FALSE(fs::exists(dir / "short.mov")) << "nothing is left of a failed copy";
        return;
    }
    FAIL() << "no movie in the sample";
}

TEST(EncryptedBackup, NonAsciiPasswordAndRealIterationCounts) {
    test::TempDir dir;
    samplegen::SampleOptions options;
    options.out = dir / "root";
    options.preset = samplegen::SamplePreset::Small;
    options.encryption.password = "p\xC3\xA4ssw\xC3\xB6rd \xE2\x9C\x93";  // "pässwörd ✓"
    // Devices use 10,000,000 SHA-256 and 10,000 SHA-1 rounds: opening takes seconds.
    options.encryption.dpIterations = 10'000'000;
    options.encryption.iterations = 10'000;
    const samplegen::SampleReport report = samplegen::GenerateSampleRoot(options);
    const auto modern =
        std::find_if(report.backups.begin(), report.backups.end(), [](const BackupReport& backup) {
            return backup.encryption && backup.manifest == samplegen::ManifestKind::Db;
        });
    ASSERT_NE(modern, report.backups.end());
    EXPECT_EQ(OpenBackupManifest(modern->folder, "p\xC3\xA4ssw\xC3\xB6rd").problem,
              ManifestProblem::WrongPassword);
    const BackupManifest opened = OpenBackupManifest(modern->folder, options.encryption.password);
    EXPECT_EQ(opened.problem, ManifestProblem::None);
    EXPECT_TRUE(opened.manifest && !opened.manifest->empty());
}

}  // namespace
}  // namespace pixhaven::backup
