// Loading the settings record from the per-user key store.
#include "app/settings.h"

#include <cstdint>

#include "makerlibs/qvutility.h"

namespace pixhaven::app {
namespace {

std::u16string ReadString(const QvRegKey& key, std::u16string_view name,
                          std::u16string_view fallback) {
    std::u16string value;
    if (qvGetRegKeyStrW(key, name, value)) {
        return value;
    }
    qvSetRegKeyStrW(key, name, fallback);
    return std::u16string(fallback);
}

std::uint32_t ReadDword(const QvRegKey& key, std::u16string_view name, std::uint32_t fallback) {
    std::uint32_t value = 0;
    if (qvGetRegKeyDwordW(key, name, value)) {
        return value;
    }
    qvSetRegKeyDwordW(key, name, fallback);
    return fallback;
}

// Only a stored 1 switches a flag on; any other number means off.
int ReadFlag(const QvRegKey& key, std::u16string_view name) {
    return ReadDword(key, name, 0) == 1 ? 1 : 0;
}

}  // namespace

Settings LoadSettings() {
    Settings settings;
    QvRegKey key;
    if (!qvCreateRegKeyW(QvRootKey::CurrentUser, kSettingsKey, key)) {
        return settings;
    }
    // The order in which the values are read (and defaults written) is the program's own.
    settings.version = ReadString(key, u"Version", kDefaultVersion);
    settings.runAtBoot = ReadFlag(key, u"RunAtBoot");
    settings.noPromptAgain = ReadFlag(key, u"NoPromptAgain");
    settings.minToTray = ReadFlag(key, u"MinToTyay");
    settings.noClose = ReadFlag(key, u"NoClose");
    // The language number is kept as stored; it is the bit pattern of the DWORD.
    settings.appLanguage = static_cast<int>(ReadDword(key, u"AppLanguage", kDefaultLanguage));
    settings.autoUpdate = ReadFlag(key, u"AutoUpdate");
    return settings;
}

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

}  // namespace pixhaven::app
