// Feeds arbitrary bytes to the info.plist reader, XML and binary property lists alike.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pixhaven::backup::BackupInfo info;
    pixhaven::backup::ReadBackupInfoBytes(
        info, std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
