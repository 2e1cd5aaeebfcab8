// What a backup's Manifest.plist says about encryption: whether the backup is encrypted, its key
// bag, and the key of an encrypted Manifest.db.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pixhaven::backup {

struct ManifestPlist {
    bool encrypted = false;                  // IsEncrypted is <true/>
    std::optional<std::string> keybag;       // BackupKeyBag's bytes
    std::optional<std::string> manifestKey;  // ManifestKey's bytes: class, then the wrapped key
};

// The top dictionary's IsEncrypted, BackupKeyBag and ManifestKey, from an XML or binary list;
// a list that cannot be read says nothing (not encrypted, no keys). A <data> value that is not
// base64 counts as absent.
ManifestPlist ParseManifestPlist(std::string_view bytes);

// The base64 text of a <data> element decoded, white space allowed between the characters; none
// when it is not base64.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace pixhaven::backup
