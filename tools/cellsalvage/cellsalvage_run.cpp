// cellsalvage-run ios|android TYPE OS FIRST_PATH SECOND_PATH
// Runs one parser mode on two database files and prints the recovered text exactly as the parser
// left it (locale charset, "\r\n" line ends, no newline added).
#include <charconv>
#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cellsalvage/iphonesqlitparse.h"
#include "cellsalvage/sqliteparse.h"
#include "platform/textcodec.h"

namespace {

constexpr int kUsageError = 2;

void PrintUsage(std::string_view problem) {
    std::fprintf(stderr,
                 "cellsalvage-run: %.*s\n"
                 "usage: cellsalvage-run ios|android TYPE OS FIRST_PATH SECOND_PATH\n"
                 "  ios:     FIRST_PATH = AddressBook database, SECOND_PATH = message or call "
                 "database; TYPE 0 contacts, 1 messages, 2 calls; OS 1-2 iOS 5, 3 iOS 6\n"
                 "  android: FIRST_PATH = contacts database, SECOND_PATH = message database; "
                 "TYPE 0 contacts, 1 messages; OS 0\n",
                 static_cast<int>(problem.size()), problem.data());
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::u16string ArgumentPath(std::string_view utf8) {
    return pixhaven::platform::Utf8ToUtf16(utf8);
}

std::string Recover(std::string_view platform, int type, int os, std::string_view first,
                    std::string_view second) {
    const auto parserType = static_cast<ePaserType>(type);
    const auto osType = static_cast<eOSType>(os);
    if (platform == "ios") {
        IphoneSqlitParse parser(ArgumentPath(first), ArgumentPath(second));
        parser.startParse(parserType, osType);
        return parser.recoveredText;
    }
    SqliteParse parser(ArgumentPath(first), ArgumentPath(second));
    parser.startParse(parserType, osType);
    return parser.recoveredText;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    pixhaven::platform::SetStandardOutputBinary();  // the text keeps its own "\r\n"
    if (argc != 6) {
        PrintUsage("expected five arguments");
        return kUsageError;
    }
    const std::string_view platform = argv[1];
    if (platform != "ios" && platform != "android") {
        PrintUsage("the first argument must be ios or android");
        return kUsageError;
    }
    const std::optional<int> type = ParseInt(argv[2]);
    const std::optional<int> os = ParseInt(argv[3]);
    if (!type || !os) {
        PrintUsage("TYPE and OS must be whole numbers");
        return kUsageError;
    }
    const std::string text = Recover(platform, *type, *os, argv[4], argv[5]);
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
        return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
