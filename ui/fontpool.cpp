// The program's font pool: "Tahoma" at 11 pixels, grown and styled by the bits of a font code.
#include "ui/fontpool.h"

#include "makerlibs/gildpaint_draw.h"

namespace pixhaven::ui {

TkFontPool::TkFontPool() {
    fonts_.emplace(font_code::kBase, MakeFont(font_code::kBase));
}

const QFont& TkFontPool::Font(std::uint16_t code) {
    auto found = fonts_.find(code);
    if (found == fonts_.end()) {
        found = fonts_.emplace(code, MakeFont(code)).first;
    }
    return found->second;
}

QFont TkFontPool::MakeFont(std::uint16_t code) {
    const int step = code >> 8;
    const int weight = (code & font_code::kBold) != 0 ? 700 : 400;
    QFont font = get_font(QStringLiteral("Tahoma"), kBaseHeight + step, weight);
    font.setUnderline((code & font_code::kUnderline) != 0);
    font.setItalic((code & font_code::kItalic) != 0);
    return font;
}

TkFontPool& FontPool() {
    static TkFontPool pool;
    return pool;
}

}  // namespace pixhaven::ui
