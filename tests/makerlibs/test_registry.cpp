// qvutility's registry calls over the per-user key store: keys, typed values, the 260-character
// limit, damaged store files, concurrent writers and the virtual shell-folders key.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "makerlibs/qvutility.h"
#include "makerlibs/regstore.h"
#include "platform/textcodec.h"
#include "tests/makerlibs/isolated_user.h"

namespace fs = std::filesystem;

namespace pixhaven {
namespace {

using qv::RegDocument;
using qv::RegValue;
using test::ReadFile;
using test::WriteFile;
using namespace std::string_literals;

constexpr std::u16string_view kAppKey = u"Software\\Quillmark\\Pixhaven";
constexpr std::u16string_view kAppPath = u"HKEY_CURRENT_USER\\Software\\Quillmark\\Pixhaven";

RegValue Text(std::u16string text) {
    return RegValue{RegValue::Type::String, std::move(text), 0};
}
RegValue Dword(std::uint32_t value) {
    return RegValue{RegValue::Type::Dword, {}, value};
}

TEST(RegDocument, AwkwardTextsRoundTrip) {
    const std::u16string texts[] = {
        u"",
        u"two\nlines\r\n",
        u"a=b]c[d;e#f%41%",
        u"  padded  ",
        u"Gr\u00FC\u00DFe \U0001F600",
        std::u16string(u"nul\0inside", 10),
    };
    RegDocument document;
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        document.Set(u"HKEY_CURRENT_USER\\K]ey\n" + texts[i], texts[i], Text(texts[i]));
    }
    const RegDocument reread = RegDocument::Parse(document.Serialize());
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const RegValue* value = reread.Find(u"HKEY_CURRENT_USER\\K]ey\n" + texts[i], texts[i]);
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, Text(texts[i])) << i;
    }
}

TEST(RegDocument, KeysAndNamesIgnoreCaseAndLaterValuesWin) {
    const RegDocument document = RegDocument::Parse(
        "[HKEY_CURRENT_USER\\Software\\A]\n"
        "Count=dword:1\n"
        "[hkey_current_user\\software\\a]\n"
        "COUNT=dword:0000002a\n"
        "Name=sz:x\r\n");
    ASSERT_NE(document.Find(u"HKEY_CURRENT_USER\\SOFTWARE\\A", u"count"), nullptr);
    EXPECT_EQ(*document.Find(u"HKEY_CURRENT_USER\\SOFTWARE\\A", u"count"), Dword(42));
    EXPECT_EQ(*document.Find(u"HKEY_CURRENT_USER\\Software\\A", u"name"), Text(u"x"));
    EXPECT_TRUE(document.HasKey(u"HKEY_CURRENT_USER\\software"));
    EXPECT_FALSE(document.HasKey(u"HKEY_CURRENT_USER\\Soft"));
    EXPECT_FALSE(document.HasKey(u"HKEY_CURRENT_USER\\Software\\A\\B"));
}

TEST(RegDocument, DamagedLinesAreSkipped) {
    const std::string text =
        "Orphan=sz:before any key\n"
        "[HKEY_CURRENT_USER\\Good]\n"
        "Kept=sz:yes\n"
        "no equals sign\n"
        "BadHex=dword:zz\n"
        "TooLong=dword:123456789\n"
        "Untyped=hello\n"
        "BadEscape=sz:%G1\n"
        "CutEscape=sz:%4\n"
        "BadUtf8=sz:\xC0\xAF\n"
        "Binary=sz:\x01\x02\xFF\n"
        "[HKEY_CURRENT_USER\\Unclosed\n"
        "Stray=sz:must not land in Good\n"
        "[HKEY_CURRENT_USER\\Bad%ZZ]\n"
        "Stray2=sz:nor here\n"
        "[HKEY_CURRENT_USER\\Good]\n"
        "Also=dword:7";
    const RegDocument document = RegDocument::Parse(text);
    EXPECT_EQ(*document.Find(u"HKEY_CURRENT_USER\\Good", u"Kept"), Text(u"yes"));
    EXPECT_EQ(*document.Find(u"HKEY_CURRENT_USER\\Good", u"Also"), Dword(7));
    for (const char16_t* name : {u"Orphan", u"BadHex", u"TooLong", u"Untyped", u"BadEscape",
                                 u"CutEscape", u"BadUtf8", u"Binary", u"Stray", u"Stray2"}) {
        EXPECT_EQ(document.Find(u"HKEY_CURRENT_USER\\Good", name), nullptr)
            << platform::Utf16ToUtf8(name);
    }
    EXPECT_FALSE(document.HasKey(u"HKEY_CURRENT_USER\\Unclosed"));
}

class Registry : public test::IsolatedUser {};

TEST_F(Registry, FirstRunFindsNothingAndWritesNothing) {
    QvRegKey key;
    EXPECT_FALSE(qvOpenRegKeyW(QvRootKey::CurrentUser, kAppKey, QvAccess::Read, key));
    EXPECT_FALSE(key.IsOpen());
    std::u16string text = u"untouched";
    EXPECT_FALSE(qvGetRegKeyStrW(key, u"Version", text));
    EXPECT_EQ(text, u"untouched");
    EXPECT_FALSE(fs::exists(StoreFile()));
}

TEST_F(Registry, CreateSetAndReadBack) {
    QvRegKey key;
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    EXPECT_EQ(key.Path(), kAppPath);
    EXPECT_TRUE(key.Writable());
    EXPECT_TRUE(qvSetRegKeyStrW(key, u"Version", u"6.0.0"));
    EXPECT_TRUE(qvSetRegKeyDwordW(key, u"RunAtBoot", 1));
    EXPECT_TRUE(qvSetRegKeyDwordW(key, u"AppLanguage", 0xFFFFFFFF));

    QvRegKey reopened;
    ASSERT_TRUE(qvOpenRegKeyW(QvRootKey::CurrentUser, u"software\\QUILLMARK\\pixhaven\\",
                              QvAccess::Read, reopened));
    std::u16string version;
    std::uint32_t runAtBoot = 0;
    std::uint32_t language = 0;
    EXPECT_TRUE(qvGetRegKeyStrW(reopened, u"VERSION", version));
    EXPECT_TRUE(qvGetRegKeyDwordW(reopened, u"RunAtBoot", runAtBoot));
    EXPECT_TRUE(qvGetRegKeyDwordW(reopened, u"AppLanguage", language));
    EXPECT_EQ(version, u"6.0.0");
    EXPECT_EQ(runAtBoot, 1u);
    EXPECT_EQ(language, 0xFFFFFFFFu);

    const std::string stored = ReadFile(StoreFile());
    EXPECT_NE(stored.find("[HKEY_CURRENT_USER\\Software\\Quillmark\\Pixhaven]\n"),
              std::string::npos);
    EXPECT_NE(stored.find("\nVersion=sz:6.0.0\n"), std::string::npos);
    EXPECT_NE(stored.find("\nRunAtBoot=dword:00000001\n"), std::string::npos);
}

TEST_F(Registry, AnEmptyCreatedKeyPersists) {
    QvRegKey key;
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    EXPECT_TRUE(qvOpenRegKeyW(QvRootKey::CurrentUser, kAppKey, QvAccess::Read, key));
    EXPECT_TRUE(qvOpenRegKeyW(QvRootKey::CurrentUser, u"Software\\Quillmark", QvAccess::Read, key))
        << "a parent key exists with its child";
    EXPECT_FALSE(qvCreateRegKeyW(QvRootKey::CurrentUser, u"Software\\\\Empty", key));
}

TEST_F(Registry, TypesMustMatchAndReadOnlyKeysRefuseWrites) {
    QvRegKey key;
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    ASSERT_TRUE(qvSetRegKeyStrW(key, u"Version", u"6.0.0"));
    ASSERT_TRUE(qvSetRegKeyDwordW(key, u"NoClose", 5));
    std::uint32_t number = 99;
    std::u16string text = u"untouched";
    EXPECT_FALSE(qvGetRegKeyDwordW(key, u"Version", number));
    EXPECT_FALSE(qvGetRegKeyStrW(key, u"NoClose", text));
    EXPECT_FALSE(qvGetRegKeyStrW(key, u"Missing", text));
    EXPECT_EQ(number, 99u);
    EXPECT_EQ(text, u"untouched");

    QvRegKey readOnly;
    ASSERT_TRUE(qvOpenRegKeyW(QvRootKey::CurrentUser, kAppKey, QvAccess::Read, readOnly));
    EXPECT_FALSE(qvSetRegKeyDwordW(readOnly, u"NoClose", 1));
    EXPECT_FALSE(qvSetRegKeyStrW(QvRegKey{}, u"Version", u"x"));

    // A value may change type by being written again.
    ASSERT_TRUE(qvSetRegKeyStrW(key, u"NoClose", u"now text"));
    EXPECT_TRUE(qvGetRegKeyStrW(key, u"NoClose", text));
    EXPECT_EQ(text, u"now text");
}

TEST_F(Registry, StringsMustFitTheWin32Buffer) {
    QvRegKey key;
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    const std::u16string fits(kQvRegStrChars - 1, u'x');
    const std::u16string tooLong(kQvRegStrChars, u'x');
    ASSERT_TRUE(qvSetRegKeyStrW(key, u"Fits", fits));
    ASSERT_TRUE(qvSetRegKeyStrW(key, u"TooLong", tooLong));
    std::u16string text;
    EXPECT_TRUE(qvGetRegKeyStrW(key, u"Fits", text));
    EXPECT_EQ(text, fits);
    EXPECT_FALSE(qvGetRegKeyStrW(key, u"TooLong", text));
}

TEST_F(Registry, ADamagedStoreStillServesItsGoodValues) {
    WriteFile(StoreFile(),
              "\xFF\xFE garbage\0\0\n"
              "[HKEY_CURRENT_USER\\Software\\Quillmark\\Pixhaven]\n"
              "Version=sz:5.1\n"
              "RunAtBoot=dword:\n"
              "[[[\n"s);
    QvRegKey key;
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    std::u16string version;
    std::uint32_t runAtBoot = 0;
    EXPECT_TRUE(qvGetRegKeyStrW(key, u"Version", version));
    EXPECT_EQ(version, u"5.1");
    EXPECT_FALSE(qvGetRegKeyDwordW(key, u"RunAtBoot", runAtBoot));
    ASSERT_TRUE(qvSetRegKeyDwordW(key, u"RunAtBoot", 0));
    EXPECT_TRUE(qvGetRegKeyDwordW(key, u"RunAtBoot", runAtBoot));
    EXPECT_TRUE(qvGetRegKeyStrW(key, u"Version", version));
}

TEST_F(Registry, AStoreThatCannotBeReadIsNeverReplaced) {
    fs::create_directories(StoreFile());  // a folder where the file should be
    QvRegKey key;
    EXPECT_FALSE(qvOpenRegKeyW(QvRootKey::CurrentUser, kAppKey, QvAccess::Read, key));
    EXPECT_FALSE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    EXPECT_TRUE(fs::is_directory(StoreFile()));

    fs::remove(StoreFile());
    WriteFile(StoreFile(), std::string(qv::kMaxStoreBytes + 1, '\n'));
    EXPECT_FALSE(qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key));
    EXPECT_EQ(fs::file_size(StoreFile()), qv::kMaxStoreBytes + 1);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 8;
    std::atomic<int> failures{0};
    {
        std::vector<std::jthread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                QvRegKey key;
                if (!qvCreateRegKeyW(QvRootKey::CurrentUser, kAppKey, key)) {
                    ++failures;
                    return;
                }
                for (int v = 0; v < kValuesEach; ++v) {
                    const auto name =
                        platform::Utf8ToUtf16("W" + std::to_string(w) + "V" + std::to_string(v));
                    failures += qvSetRegKeyDwordW(key, name, std::uint32_t(w * 100 + v)) ? 0 : 1;
                }
            });
        }
    }
    EXPECT_EQ(failures.load(), 0);
    QvRegKey key;
    ASSERT_TRUE(qvOpenRegKeyW(QvRootKey::CurrentUser, kAppKey, QvAccess::Read, key));
    for (int w = 0; w < kWriters; ++w) {
        for (int v = 0; v < kValuesEach; ++v) {
            std::uint32_t value = 0;
            const auto name =
                platform::Utf8ToUtf16("W" + std::to_string(w) + "V" + std::to_string(v));
            EXPECT_TRUE(qvGetRegKeyDwordW(key, name, value));
            EXPECT_EQ(value, std::uint32_t(w * 100 + v));
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(StoreFile().parent_path()), {}), 2)
        << "only the store and its lock file remain";
}

TEST_F(Registry, ShellFoldersAnswerAppDataFromTheUserDataFolder) {
    QvRegKey key;
    ASSERT_TRUE(
        qvOpenRegKeyW(QvRootKey::CurrentUser,
                      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\shell folders",
                      QvAccess::Read, key));
    std::u16string appData;
    ASSERT_TRUE(qvGetRegKeyStrW(key, u"AppData", appData));
    EXPECT_EQ(appData, platform::Utf8ToUtf16((Dir() / "data").string()));
    EXPECT_FALSE(qvGetRegKeyStrW(key, u"Desktop", appData));

    QvRegKey writable;
    ASSERT_TRUE(qvCreateRegKeyW(
        QvRootKey::CurrentUser,
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", writable));
    EXPECT_FALSE(qvSetRegKeyStrW(writable, u"AppData", u"/elsewhere"));
    EXPECT_FALSE(fs::exists(StoreFile())) << "the virtual key is never stored";

    QvRegKey parent;  // keys above it are ordinary keys
    ASSERT_TRUE(qvCreateRegKeyW(QvRootKey::CurrentUser, u"Software\\Microsoft", parent));
    EXPECT_TRUE(qvSetRegKeyDwordW(parent, u"Flag", 3));
}

}  // namespace
}  // namespace pixhaven
