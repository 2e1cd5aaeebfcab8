// Parsing and checking of the skin table.
#include "tools/skinrender/skintable.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace pixhaven::skinrender {

namespace {

// Big enough for the main window's background at twice its size, small enough that a typo
// cannot ask for gigabytes.
constexpr int kMaxSide = 4096;

bool IsPlainFileName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]*$"));
    return plain.match(name).hasMatch() && !name.contains(QStringLiteral(".."));
}

bool HasImageSuffix(const QString& name) {
    return name.endsWith(QStringLiteral(".png")) || name.endsWith(QStringLiteral(".bmp"));
}

QString CheckEntry(const SkinEntry& entry) {
    if (!IsPlainFileName(entry.name) || !HasImageSuffix(entry.name))
        return QStringLiteral("output must be a plain .png or .bmp file name");
    if (!IsPlainFileName(entry.source) || !entry.source.endsWith(QStringLiteral(".svg")))
        return QStringLiteral("source must be a plain .svg file name");
    if (entry.width < 1 || entry.height < 1 || entry.width > kMaxSide || entry.height > kMaxSide)
        return QStringLiteral("size out of range");
    if (entry.frames < 1 || entry.width % entry.frames != 0)
        return QStringLiteral("width does not divide into the frame count");
    return {};
}

std::optional<int> ToInt(const QString& field) {
    bool ok = false;
    const int value = field.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString ParseLine(const QString& text, int line, SkinEntry& entry) {
    const QStringList fields = text.split(QRegularExpression(QStringLiteral("\\s+")));
    if (fields.size() != 5)
        return QStringLiteral("expected: name source width height frames");
    const auto width = ToInt(fields[2]);
    const auto height = ToInt(fields[3]);
    const auto frames = ToInt(fields[4]);
    if (!width || !height || !frames)
        return QStringLiteral("width, height and frames must be numbers");
    entry = {fields[0], fields[1], *width, *height, *frames, line};
    return CheckEntry(entry);
}

}  // namespace

SkinTable ParseSkinTable(const QString& text) {
    SkinTable table;
    QSet<QString> names;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        SkinEntry entry;
        QString problem = ParseLine(trimmed, i + 1, entry);
        if (problem.isEmpty() && names.contains(entry.name))
            problem = QStringLiteral("output named twice");
        if (!problem.isEmpty()) {
            table.error = QStringLiteral("line %1: %2").arg(i + 1).arg(problem);
            table.entries.clear();
            return table;
        }
        names.insert(entry.name);
        table.entries.push_back(entry);
    }
    if (table.entries.empty())
        table.error = QStringLiteral("the table lists no image");
    return table;
}

std::optional<QString> DoubleDensityName(const QString& name) {
    if (!name.endsWith(QStringLiteral(".png")))
        return std::nullopt;
    return name.chopped(4) + QStringLiteral("@2x.png");
}

}  // namespace pixhaven::skinrender
