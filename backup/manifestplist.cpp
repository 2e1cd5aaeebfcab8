// Reading Manifest.plist's encryption keys through the XML reader every property list of ours
// goes through (a binary list is converted first).
#include "backup/manifestplist.h"

#include <openssl/evp.h>
#include <tinyxml2.h>

#include <cstring>

#include "backup/plistdoc.h"

namespace pixhaven::backup {
namespace {

bool IsKey(const tinyxml2::XMLElement& element, const char* key) {
    const char* text = element.GetText();
    return std::strcmp(element.Name(), "key") == 0 && text != nullptr &&
           std::strcmp(text, key) == 0;
}

std::optional<std::string> DataValue(const tinyxml2::XMLElement* value) {
    if (value == nullptr || std::strcmp(value->Name(), "data") != 0) {
        return std::nullopt;
    }
    const char* text = value->GetText();
    return DecodeBase64(text != nullptr ? text : "");
}

void TakeEntry(const tinyxml2::XMLElement& key, ManifestPlist& plist) {
    const tinyxml2::XMLElement* value = key.NextSiblingElement();
    if (IsKey(key, "IsEncrypted")) {
        plist.encrypted = value != nullptr && std::strcmp(value->Name(), "true") == 0;
    } else if (IsKey(key, "BackupKeyBag")) {
        plist.keybag = DataValue(value);
    } else if (IsKey(key, "ManifestKey")) {
        plist.manifestKey = DataValue(value);
    }
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            compact += c;
        }
    }
    if (compact.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes(compact.size() / 4 * 3, '\0');
    const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                        reinterpret_cast<const unsigned char*>(compact.data()),
                                        static_cast<int>(compact.size()));
    if (decoded < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the bytes the padding stands for as zero bytes.
    const std::size_t padding = compact.ends_with("==") ? 2 : compact.ends_with('=') ? 1 : 0;
    bytes.resize(static_cast<std::size_t>(decoded) - padding);
    return bytes;
}

ManifestPlist ParseManifestPlist(std::string_view bytes) {
    std::string converted;
    if (IsBinaryPlist(bytes)) {
        converted = BinaryPlistToXml(bytes);
        bytes = converted;
    }
    ManifestPlist plist;
    tinyxml2::XMLDocument document;
    if (bytes.empty() || document.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
        return plist;
    }
    const tinyxml2::XMLElement* root = document.RootElement();
    const tinyxml2::XMLElement* dict = root ? root->FirstChildElement("dict") : nullptr;
    for (const tinyxml2::XMLElement* element = dict ? dict->FirstChildElement() : nullptr;
         element != nullptr; element = element->NextSiblingElement()) {
        TakeEntry(*element, plist);
    }
    return plist;
}

}  // namespace pixhaven::backup
