// The program's font pool: one base face in a few sizes and styles, created once per code and
// kept for the life of the process.
#pragma once

#include <QFont>
#include <cstdint>
#include <unordered_map>

namespace pixhaven::ui {

// Font codes: the high byte is a size step (pixel height 11 + step); the low bits pick the style.
namespace font_code {
inline constexpr std::uint16_t kItalic = 0x1;
inline constexpr std::uint16_t kUnderline = 0x2;
inline constexpr std::uint16_t kBold = 0x4;
inline constexpr std::uint16_t kBase = 0x000;
inline constexpr std::uint16_t kLarger = 0x100;
inline constexpr std::uint16_t kLargerBold = 0x104;
inline constexpr std::uint16_t kTwoLarger = 0x200;
}  // namespace font_code

class TkFontPool {
public:
    static constexpr int kBaseHeight = 11;

    TkFontPool();

    // The font for `code`, made on first request and cached.
    const QFont& Font(std::uint16_t code);

    // What a code means, without touching the cache.
    static QFont MakeFont(std::uint16_t code);

    std::size_t CachedCount() const { return fonts_.size(); }

private:
    std::unordered_map<std::uint16_t, QFont> fonts_;
};

// The process's pool, created on first use; user-interface thread only.
TkFontPool& FontPool();

}  // namespace pixhaven::ui
