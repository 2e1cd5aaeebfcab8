// The "ANSI" code page on Windows: the system's active code page through the Win32 converters.
// Also the Windows spelling of file-address paths ("/C:/...") and a binary standard output.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/textcodec.h"

namespace pixhaven::platform {
namespace {

// The Win32 converters take int lengths; longer texts (never met in practice) are converted in
// pieces, keeping surrogate pairs together.
constexpr std::size_t kMaxPiece = INT_MAX / 4;

std::u16string AnsiPieceToUtf16(std::string_view ansi) {
    const int inLength = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), inLength, nullptr, 0);
    if (needed <= 0) {
        return std::u16string(ansi.size(), u'\xFFFD');
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), inLength, wide.data(), needed);
    return std::u16string(wide.begin(), wide.end());
}

std::string Utf16PieceToAnsi(std::u16string_view utf16) {
    const std::wstring wide(utf16.begin(), utf16.end());
    const int inLength = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), inLength, nullptr, 0, "?", nullptr);
    if (needed <= 0) {
        return std::string(utf16.size(), '?');
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), inLength, out.data(), needed, "?", nullptr);
    return out;
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string out;
    while (!ansi.empty()) {
        const std::size_t piece = ansi.size() < kMaxPiece ? ansi.size() : kMaxPiece;
        out += AnsiPieceToUtf16(ansi.substr(0, piece));
        ansi.remove_prefix(piece);
    }
    return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    std::string out;
    while (!utf16.empty()) {
        std::size_t piece = utf16.size() < kMaxPiece ? utf16.size() : kMaxPiece;
        if (piece < utf16.size() && IsHighSurrogate(utf16[piece - 1])) {
            --piece;  // keep a surrogate pair together
        }
        out += Utf16PieceToAnsi(utf16.substr(0, piece));
        utf16.remove_prefix(piece);
    }
    return out;
}

std::filesystem::path PathFromFileAddress(std::string_view utf8Path) {
    if (utf8Path.size() >= 3 && utf8Path[0] == '/' && utf8Path[2] == ':') {
        utf8Path.remove_prefix(1);  // "/C:/folder" names "C:/folder"
    }
    return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

void SetStandardOutputBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace pixhaven::platform
