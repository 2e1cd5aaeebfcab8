// The pieces under an encrypted backup: the key bag parser on real and damaged bags, base64 as
// property lists write it, and the ends of encrypted contents that the scan's signature tests read.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>

#include "backup/backupkeys.h"
#include "backup/keybag.h"
#include "backup/manifestplist.h"
#include "backup/storedcontent.h"
#include "tests/support/tempdir.h"

namespace pixhaven::backup {
namespace {

std::string Record(std::string_view tag, std::string_view value) {
    std::string record(tag);
    const auto size = static_cast<std::uint32_t>(value.size());
    for (const int shift : {24, 16, 8, 0}) {
        record += static_cast<char>((size >> shift) & 0xFF);
    }
    return record + std::string(value);
}

std::string Number(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
            static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string ClassKeyRecords(std::uint32_t protectionClass, std::string_view wrapped) {
    return Record("UUID", std::string(16, 'c')) + Record("CLAS", Number(protectionClass)) +
           Record("WRAP", Number(kWrappedByPasscode)) + Record("KTYP", Number(0)) +
           Record("WPKY", wrapped);
}

std::string Header(std::uint32_t iterations, std::string_view extra = {}) {
    return Record("VERS", Number(4)) + Record("TYPE", Number(1)) +
           Record("UUID", std::string(16, 'u')) + Record("WRAP", Number(kWrappedByPasscode)) +
           Record("SALT", std::string(20, 's')) + Record("ITER", Number(iterations)) +
           std::string(extra);
}

TEST(Keybag, HeaderAndClassKeysAreReadAndDamageIsRefused) {
    const std::string wrapped(kWrappedKeyBytes, 'w');
    const std::string doubleProtection =
        Record("DPWT", Number(1)) + Record("DPIC", Number(7)) + Record("DPSL", "salt2");
    const std::string bag = Header(3, doubleProtection) + ClassKeyRecords(1, wrapped) +
                            Record("ZZZZ", "unknown tags are passed over") +
                            ClassKeyRecords(11, wrapped) + ClassKeyRecords(2, "short");
    const std::optional<Keybag> parsed = ParseKeybag(bag);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->iterations, 3u);
    EXPECT_EQ(parsed->salt, std::string(20, 's'));
    EXPECT_EQ(parsed->doubleProtectionSalt, "salt2");
    EXPECT_EQ(parsed->doubleProtectionIterations, 7u);
    ASSERT_EQ(parsed->classKeys.size(), 2u) << "a wrapped key of the wrong size is left out";
    EXPECT_EQ(parsed->classKeys[1].protectionClass, 11u);

    for (std::size_t length = 0; length < bag.size(); ++length) {
        const auto cut = ParseKeybag(std::string_view(bag).substr(0, length));
        EXPECT_TRUE(!cut || cut->classKeys.size() <= 2) << length;
    }
    const std::string oneKey = ClassKeyRecords(1, wrapped);
    EXPECT_FALSE(ParseKeybag(Header(0) + oneKey)) << "no rounds";
    EXPECT_FALSE(ParseKeybag(Header(kMaxIterations + 1) + oneKey)) << "rounds past any device's";
    EXPECT_FALSE(ParseKeybag(Header(3, Record("DPSL", "s")) + oneKey)) << "DPSL without DPIC";
    EXPECT_FALSE(ParseKeybag(Header(3))) << "no class key";
    EXPECT_FALSE(ParseKeybag(Header(3) + oneKey + "ITER\xFF\xFF\xFF\xFF")) << "runs past the end";
}

TEST(Keybag, AWrongPasswordFailsTheUnwrap) {
    Keybag keybag;
    keybag.salt = "salt";
    keybag.iterations = 2;
    const SecretBytes passcode = DerivePasscodeKey(keybag, "right");
    // Wrap a class key with the passcode key as a device does.
    const unsigned char classKey[32] = {1, 2, 3};
    std::string wrapped(kWrappedKeyBytes + 8, '\0');
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EVP_CIPHER_CTX_set_flags(context, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    int written = 0;
    EVP_EncryptInit_ex(context, EVP_aes_256_wrap(), nullptr, passcode.data(), nullptr);
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(wrapped.data()), &written, classKey,
                      sizeof classKey);
    EVP_CIPHER_CTX_free(context);
    wrapped.resize(static_cast<std::size_t>(written));
    keybag.classKeys.push_back({4, kWrappedByPasscode, wrapped});

    EXPECT_TRUE(std::holds_alternative<BackupKeys>(BackupKeys::Unlock(keybag, "right")));
    EXPECT_TRUE(std::holds_alternative<UnlockProblem>(BackupKeys::Unlock(keybag, "wrong")));
}

TEST(ManifestPlist, Base64AsPropertyListsWriteIt) {
    EXPECT_EQ(DecodeBase64("aGVs\n\tbG8="), "hello");
    EXPECT_EQ(DecodeBase64("aGVsbG8h"), "hello!");
    EXPECT_EQ(DecodeBase64(""), "");
    EXPECT_FALSE(DecodeBase64("aGVsbG8"));
    EXPECT_FALSE(DecodeBase64("a*Vs"));
    const ManifestPlist plist = ParseManifestPlist(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>IsEncrypted</key><true/>"
        "<key>BackupKeyBag</key><data>a2V5\nYmFn</data><key>ManifestKey</key><data>*</data>"
        "</dict></plist>");
    EXPECT_TRUE(plist.encrypted);
    EXPECT_EQ(plist.keybag, "keybag");
    EXPECT_FALSE(plist.manifestKey) << "data that is not base64 counts as absent";
}

// Every head and tail of contents from 0 to 40 bytes: the few ciphertext blocks read must give
// exactly the plaintext's ends, and a longer head the content's start.
TEST(ContentEnds, EncryptedEndsAreTheContentsOwn) {
    test::TempDir dir;
    auto key = std::make_shared<SecretBytes>(32);
    for (std::size_t i = 0; i < key->size(); ++i) {
        key->data()[i] = static_cast<unsigned char>(i * 7);
    }
    for (std::size_t size = 0; size <= 40; ++size) {
        std::string plain;
        for (std::size_t i = 0; i < size; ++i) {
            plain += static_cast<char>('a' + i % 26);
        }
        std::string cipher(size + 32, '\0');
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        const unsigned char iv[16] = {};
        int written = 0;
        int last = 0;
        EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key->data(), iv);
        EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(cipher.data()), &written,
                          reinterpret_cast<const unsigned char*>(plain.data()),
                          static_cast<int>(plain.size()));
        EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(cipher.data()) + written,
                            &last);
        EVP_CIPHER_CTX_free(context);
        cipher.resize(static_cast<std::size_t>(written + last));
        const auto file = dir / ("content" + std::to_string(size));
        test::WriteFile(file, cipher);
        const StoredContent content(file, key, true, size);
        SCOPED_TRACE(size);
        ContentEnds ends(content);
        for (const std::size_t count : {2u, 4u, 8u}) {
            EXPECT_EQ(ends.Head(count), plain.substr(0, count));
            EXPECT_EQ(ends.Tail(count), size < count ? "" : plain.substr(size - count));
        }
        EXPECT_EQ(ReadContent(content, 1 << 10), plain);
        for (const std::size_t count : {1u, 16u, 17u, 64u}) {
            EXPECT_EQ(ReadContentHead(content, count), plain.substr(0, count));
        }
        EXPECT_EQ(ReadContentHead(StoredContent(file), 20), cipher.substr(0, 20));
    }
}

}  // namespace
}  // namespace pixhaven::backup
