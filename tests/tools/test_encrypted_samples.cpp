// The encrypted sample backups opened by a reader of a few lines over libcrypto, written apart
// from the generator: the keybag's records, the two key derivations, the class keys, each file's
// key, and the plaintext that comes out, compared with the same files of the plain backups.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <set>

#include "backup/manifest.h"
#include "backup/manifestdb.h"
#include "backup/sha1.h"
#include "tests/support/tempdir.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

// --- the reader -------------------------------------------------------------------------------

std::uint32_t BigEndian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (const char c : bytes) {
        value = (value << 8) | static_cast<unsigned char>(c);
    }
    return value;
}

std::uint32_t LittleEndian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

struct Keybag {
    std::map<std::string, std::string> header;     // tag → value, up to the first class
    std::map<std::uint32_t, std::string> wrapped;  // class → WPKY
    std::vector<std::string> blockTags;            // the tags of the first class block
};

Keybag ParseKeybag(std::string_view bytes) {
    Keybag keybag;
    std::optional<std::uint32_t> protectionClass;
    bool inBlocks = false;
    while (bytes.size() >= 8) {
        const std::string tag(bytes.substr(0, 4));
        const std::uint32_t length = BigEndian(bytes.substr(4, 4));
        const std::string value(bytes.substr(8, length));
        bytes.remove_prefix(std::min<std::size_t>(bytes.size(), 8 + length));
        if (tag == "UUID" && keybag.header.count("UUID")) {
            inBlocks = true;  // every UUID after the header's starts a class block
            protectionClass.reset();
        }
        if (!inBlocks) {
            keybag.header[tag] = value;
            continue;
        }
        if (keybag.wrapped.empty()) {
            keybag.blockTags.push_back(tag);
        }
        if (tag == "CLAS") {
            protectionClass = BigEndian(value);
        } else if (tag == "WPKY" && protectionClass) {
            keybag.wrapped[*protectionClass] = value;
        }
    }
    return keybag;
}

std::string Pbkdf2(std::string_view secret, std::string_view salt, std::uint32_t rounds,
                   const EVP_MD* digest) {
    std::string key(32, '\0');
    PKCS5_PBKDF2_HMAC(secret.data(), static_cast<int>(secret.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()),
                      static_cast<int>(salt.size()), static_cast<int>(rounds), digest, 32,
                      reinterpret_cast<unsigned char*>(key.data()));
    return key;
}

// One decrypting pass; none when the cipher refuses (a wrong key fails the wrap's check value or
// the padding).
std::optional<std::string> Decrypt(const EVP_CIPHER* cipher, std::string_view key,
                                   std::string_view input) {
    const std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> context(EVP_CIPHER_CTX_new(),
                                                                             EVP_CIPHER_CTX_free);
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    static constexpr unsigned char kZeroIv[16] = {};
    const unsigned char* iv = cipher == EVP_aes_256_cbc() ? kZeroIv : nullptr;
    std::string out(input.size() + 16, '\0');
    auto* target = reinterpret_cast<unsigned char*>(out.data());
    int written = 0, last = 0;
    if (key.size() != 32 ||
        EVP_DecryptInit_ex(context.get(), cipher, nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), iv) != 1 ||
        EVP_DecryptUpdate(context.get(), target, &written,
                          reinterpret_cast<const unsigned char*>(input.data()),
                          static_cast<int>(input.size())) != 1 ||
        EVP_DecryptFinal_ex(context.get(), target + written, &last) != 1) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

std::optional<std::string> Unwrap(std::string_view kek, std::string_view wrapped) {
    return Decrypt(EVP_aes_256_wrap(), kek, wrapped);
}

// The class keys, or none when the password fails to unwrap any of them.
std::optional<std::map<std::uint32_t, std::string>> Unlock(const Keybag& keybag,
                                                           const std::string& password) {
    const auto& h = keybag.header;
    std::string secret = password;
    if (h.count("DPSL")) {
        secret = Pbkdf2(secret, h.at("DPSL"), BigEndian(h.at("DPIC")), EVP_sha256());
    }
    const std::string passcodeKey =
        Pbkdf2(secret, h.at("SALT"), BigEndian(h.at("ITER")), EVP_sha1());
    std::map<std::uint32_t, std::string> keys;
    for (const auto& [protectionClass, wrapped] : keybag.wrapped) {
        const auto key = Unwrap(passcodeKey, wrapped);
        if (!key) {
            return std::nullopt;
        }
        keys[protectionClass] = *key;
    }
    return keys;
}

// A 4-byte little-endian class and a wrapped key, unwrapped with that class's key.
std::optional<std::string> UnwrapWithClass(const std::map<std::uint32_t, std::string>& classKeys,
                                           std::string_view blob) {
    const auto found = classKeys.find(LittleEndian(blob.substr(0, 4)));
    return blob.size() == 44 && found != classKeys.end() ? Unwrap(found->second, blob.substr(4))
                                                         : std::nullopt;
}

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Plist = std::unique_ptr<void, PlistFree>;

Plist ParsePlist(const std::string& bytes) {
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    return Plist(root);
}

std::string DataOf(plist_t node) {
    char* bytes = nullptr;
    std::uint64_t length = 0;
    if (node != nullptr && plist_get_node_type(node) == PLIST_DATA) {
        plist_get_data_val(node, &bytes, &length);
    }
    std::string value(bytes != nullptr ? bytes : "", length);
    std::free(bytes);
    return value;
}

// EncryptionKey of an archived MBFile: root → UID → {NS.data}.
std::string ArchivedKey(const std::string& archive) {
    const Plist root = ParsePlist(archive);
    plist_t objects = plist_dict_get_item(root.get(), "$objects");
    const auto at = [&](plist_t uid) {
        std::uint64_t index = 0;
        plist_get_uid_val(uid, &index);
        return plist_array_get_item(objects, static_cast<std::uint32_t>(index));
    };
    plist_t file = at(plist_dict_get_item(plist_dict_get_item(root.get(), "$top"), "root"));
    plist_t key = plist_dict_get_item(file, "EncryptionKey");
    return key != nullptr ? DataOf(plist_dict_get_item(at(key), "NS.data")) : std::string();
}

// fileID → archived MBFile of every row of a plain Manifest.db.
std::map<std::string, std::string> FilesRows(const fs::path& database) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db, "SELECT fileID, file FROM Files", -1, &rows, nullptr);
    std::map<std::string, std::string> files;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        files[reinterpret_cast<const char*>(sqlite3_column_text(rows, 0))] =
            std::string(static_cast<const char*>(sqlite3_column_blob(rows, 1)),
                        static_cast<std::size_t>(sqlite3_column_bytes(rows, 1)));
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return files;
}

// --- the samples ------------------------------------------------------------------------------

class EncryptedSamples : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<test::TempDir>();
        SampleOptions options;
        options.out = folder_->path() / "root";
        options.preset = SamplePreset::Small;
        report_ = std::make_unique<SampleReport>(GenerateSampleRoot(options));
    }
    static void TearDownTestSuite() {
        report_.reset();
        folder_.reset();
    }
    static const SampleReport& Report() { return *report_; }
    static const test::TempDir& Scratch() { return *folder_; }

    static std::vector<const BackupReport*> Encrypted() {
        std::vector<const BackupReport*> found;
        for (const BackupReport& backup : Report().backups) {
            if (backup.encryption) {
                found.push_back(&backup);
            }
        }
        return found;
    }
    static Plist ManifestPlist(const BackupReport& backup) {
        return ParsePlist(ReadFile(backup.folder / "Manifest.plist"));
    }
    static Keybag KeybagOf(const BackupReport& backup) {
        return ParseKeybag(
            DataOf(plist_dict_get_item(ManifestPlist(backup).get(), "BackupKeyBag")));
    }
    static std::map<std::uint32_t, std::string> ClassKeys(const BackupReport& backup) {
        return Unlock(KeybagOf(backup), backup.encryption->password).value();
    }
    // Manifest.db decrypted with its key, written beside the samples.
    static fs::path PlainManifestDb(const BackupReport& backup) {
        const Plist plist = ManifestPlist(backup);
        const auto key = UnwrapWithClass(ClassKeys(backup),
                                         DataOf(plist_dict_get_item(plist.get(), "ManifestKey")));
        const auto plain =
            Decrypt(EVP_aes_256_cbc(), key.value(), ReadFile(backup.folder / "Manifest.db"));
        const fs::path file = Scratch() / (backup.folderName + ".db");
        test::WriteFile(file, plain.value());
        return file;
    }
    // storedName → the record's key blob (class and wrapped key), as its manifest gives it.
    static std::map<std::string, std::string> KeyBlobs(const BackupReport& backup) {
        std::map<std::string, std::string> blobs;
        if (backup.manifest == ManifestKind::Db) {
            for (const auto& [fileID, archive] : FilesRows(PlainManifestDb(backup))) {
                blobs[fileID] = ArchivedKey(archive);
            }
            return blobs;
        }
        const auto manifest = backup::ReadManifest(backup.folder / "Manifest.mbdb");
        if (!manifest) {
            ADD_FAILURE() << "no records";
            return blobs;
        }
        for (const backup::ManifestRecord& record : *manifest) {
            const std::string blob(record.EncryptionKey().value_or(""));
            EXPECT_EQ(record.protectionClass, blob.empty() ? 0 : LittleEndian(blob.substr(0, 4)));
            blobs[std::string(record.StoredName())] = blob;
        }
        return blobs;
    }

private:
    static inline std::unique_ptr<test::TempDir> folder_;
    static inline std::unique_ptr<SampleReport> report_;
};

TEST_F(EncryptedSamples, EachLayoutHasItsKeybagAndManifestPlist) {
    const auto encrypted = Encrypted();
    ASSERT_EQ(encrypted.size(), 2u);
    const std::string json = ReportToJson(Report());
    for (const BackupReport* backup : encrypted) {
        SCOPED_TRACE(backup->folderName);
        const bool modern = backup->manifest == ManifestKind::Db;
        EXPECT_TRUE(backup->encrypted);
        EXPECT_EQ(backup->encryption->password, "pixhaven");
        EXPECT_EQ(backup->sameFilesAs, std::optional<std::size_t>(0));
        const std::string bytes = ReadFile(backup->folder / "Manifest.plist");
        EXPECT_EQ(bytes.rfind("bplist00", 0) == 0, modern) << "one binary, one XML";
        const Plist plist = ParsePlist(bytes);
        std::uint8_t flag = 0;
        plist_get_bool_val(plist_dict_get_item(plist.get(), "IsEncrypted"), &flag);
        EXPECT_EQ(flag, 1);
        EXPECT_EQ(DataOf(plist_dict_get_item(plist.get(), "ManifestKey")).size(),
                  modern ? 44u : 0u);

        const Keybag keybag = KeybagOf(*backup);
        EXPECT_EQ(BigEndian(keybag.header.at("VERS")), modern ? 4u : 3u);
        EXPECT_EQ(BigEndian(keybag.header.at("TYPE")), 1u);
        EXPECT_EQ(BigEndian(keybag.header.at("WRAP")), 2u);
        EXPECT_EQ(keybag.header.at("HMCK").size(), 40u);
        EXPECT_EQ(BigEndian(keybag.header.at("ITER")), 1000u);
        EXPECT_EQ(keybag.header.count("DPSL"), modern ? 1u : 0u);
        if (modern) {
            EXPECT_EQ(BigEndian(keybag.header.at("DPIC")), 1000u);
            EXPECT_EQ(BigEndian(keybag.header.at("DPWT")), 1u);
        }
        EXPECT_EQ(keybag.blockTags,
                  (std::vector<std::string>{"UUID", "CLAS", "WRAP", "KTYP", "WPKY"}));
        for (const std::uint32_t protectionClass : {1u, 2u, 3u, 4u, 11u}) {
            EXPECT_EQ(keybag.wrapped.count(protectionClass), 1u) << protectionClass;
        }
        EXPECT_NE(json.find(std::string("\"encryption\":{\"password\":\"pixhaven\",\"layout\":\"") +
                            (modern ? "modern" : "old")),
                  std::string::npos);
    }
}

TEST_F(EncryptedSamples, ManifestDbDecryptsToThePlainBackupsRows) {
    const BackupReport& encrypted = *Encrypted().back();
    ASSERT_EQ(encrypted.manifest, ManifestKind::Db);
    const fs::path plainFile = PlainManifestDb(encrypted);
    EXPECT_EQ(ReadFile(plainFile).substr(0, 16), std::string("SQLite format 3\0", 16));
    const auto decrypted = backup::ReadManifestDb(plainFile);
    const BackupReport* plain = nullptr;
    for (const BackupReport& backup : Report().backups) {
        if (backup.manifest == ManifestKind::Db && backup.sameFilesAs && !backup.encrypted) {
            plain = &backup;
        }
    }
    ASSERT_TRUE(decrypted && plain);
    const auto expected = backup::ReadManifestDb(plain->folder / "Manifest.db");
    ASSERT_TRUE(expected);
    ASSERT_EQ(decrypted->size(), expected->size());
    for (std::size_t i = 0; i < expected->size(); ++i) {
        const backup::ManifestRecord& a = (*decrypted)[i];
        const backup::ManifestRecord& b = (*expected)[i];
        EXPECT_EQ(a.StoredName(), b.StoredName());
        EXPECT_EQ(a.Domain(), b.Domain());
        EXPECT_EQ(a.Path(), b.Path());
        EXPECT_EQ(a.size, b.size) << "the plaintext's size";
        EXPECT_EQ(a.mode, b.mode);
        EXPECT_EQ(a.modified, b.modified);
        EXPECT_EQ(a.HasContent(), b.HasContent());
    }
}

TEST_F(EncryptedSamples, StoredFilesDecryptToThePlainBackupsBytes) {
    const BackupReport& original = Report().backups.front();
    for (const BackupReport* backup : Encrypted()) {
        SCOPED_TRACE(backup->folderName);
        const auto classKeys = ClassKeys(*backup);
        const auto blobs = KeyBlobs(*backup);
        std::set<std::uint32_t> classesUsed;
        int decrypted = 0;
        for (const RecordReport& record : backup->records) {
            SCOPED_TRACE(record.path.value_or("(null)"));
            const std::string& blob = blobs.at(record.storedName);
            const bool isFile = (record.mode & 0170000) == 0100000;
            ASSERT_EQ(blob.empty(), !isFile) << "folders and links have no key";
            if (!isFile) {
                continue;
            }
            EXPECT_EQ(LittleEndian(blob.substr(0, 4)), record.protectionClass);
            classesUsed.insert(record.protectionClass);
            const auto fileKey = UnwrapWithClass(classKeys, blob);
            ASSERT_TRUE(fileKey);
            if (!record.storedFileExists) {
                continue;
            }
            const std::string ciphertext = ReadFile(backup->StoredFile(record));
            EXPECT_EQ(ciphertext.size() % 16, 0u);
            const auto plaintext = Decrypt(EVP_aes_256_cbc(), *fileKey, ciphertext);
            ASSERT_TRUE(plaintext);
            EXPECT_EQ(*plaintext, ReadFile(original.StoredFile(record)));
            EXPECT_EQ(backup::Sha1Hex(plaintext->data(), plaintext->size()), record.contentSha1);
            EXPECT_TRUE(record.trap == Trap::SizeOver4GiB || plaintext->size() == record.size);
            ++decrypted;
        }
        EXPECT_GT(decrypted, 60);
        EXPECT_GE(classesUsed.size(), 4u);
    }
}

TEST_F(EncryptedSamples, WrongPasswordFailsTheClassKeyUnwrap) {
    for (const BackupReport& backup : Report().backups) {
        if (!backup.encrypted) {
            continue;
        }
        SCOPED_TRACE(backup.folderName);
        const Keybag keybag = KeybagOf(backup);
        ASSERT_EQ(keybag.wrapped.size(), 11u);
        EXPECT_FALSE(Unlock(keybag, "Pixhaven"));
        EXPECT_EQ(Unlock(keybag, "pixhaven").has_value(), backup.encryption.has_value())
            << "the locked backup's password is unknown";
    }
}

TEST(EncryptedSampleOptions, PasswordAndIterationCountsComeFromTheOptions) {
    test::TempDir dir;
    SampleOptions options;
    options.out = dir.path();
    options.preset = SamplePreset::Small;
    options.encryption = {
        "Gr\xC3\xBC\xC3\x9F"
        "e 2024",
        1234, 7};
    const SampleReport report = GenerateSampleRoot(options);
    int checked = 0;
    for (const BackupReport& backup : report.backups) {
        if (!backup.encryption) {
            continue;
        }
        EXPECT_EQ(backup.encryption->password, options.encryption.password);
        const Plist plist = ParsePlist(ReadFile(backup.folder / "Manifest.plist"));
        const Keybag keybag = ParseKeybag(DataOf(plist_dict_get_item(plist.get(), "BackupKeyBag")));
        EXPECT_EQ(BigEndian(keybag.header.at("ITER")), 1234u);
        if (keybag.header.count("DPIC")) {
            EXPECT_EQ(BigEndian(keybag.header.at("DPIC")), 7u);
        }
        EXPECT_TRUE(Unlock(keybag, options.encryption.password));
        EXPECT_FALSE(Unlock(keybag, "pixhaven"));
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}

}  // namespace
}  // namespace pixhaven::samplegen
