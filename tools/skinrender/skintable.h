// The skin table: one line per rendered image, naming its output file, its vector source, its
// pixel size and how many frames of equal width it holds side by side.
#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace pixhaven::skinrender {

struct SkinEntry {
    QString name;    // output file name, plain (no folder), ending ".png" or ".bmp"
    QString source;  // SVG file name inside the source folder
    int width = 0;
    int height = 0;
    int frames = 1;
    int line = 0;  // line of the table, for messages
};

struct SkinTable {
    std::vector<SkinEntry> entries;
    QString error;  // empty when every line was sound
};

// Reads the table text. Blank lines and lines starting with '#' are skipped; any malformed line
// makes the whole table fail, so a typo never silently drops an image.
SkinTable ParseSkinTable(const QString& text);

// The high-density variant's name ("close.png" -> "close@2x.png"); none for BMP outputs.
std::optional<QString> DoubleDensityName(const QString& name);

}  // namespace pixhaven::skinrender
