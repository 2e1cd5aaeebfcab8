// Feeds arbitrary bytes to the key-bag parser, and opens what parses with a fixed password when
// its counts are small enough to keep the run fast.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/backupkeys.h"
#include "backup/keybag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto keybag =
        pixhaven::backup::ParseKeybag(std::string_view(reinterpret_cast<const char*>(data), size));
    constexpr std::uint32_t kQuick = 16;
    if (keybag && keybag->iterations <= kQuick && keybag->doubleProtectionIterations <= kQuick) {
        const auto unlocked = pixhaven::backup::BackupKeys::Unlock(*keybag, "pixhaven");
        if (const auto* keys = std::get_if<pixhaven::backup::BackupKeys>(&unlocked)) {
            keys->UnwrapStoredKey(std::string_view(reinterpret_cast<const char*>(data),
                                                   std::min<std::size_t>(size, 44)));
        }
    }
    return 0;
}
