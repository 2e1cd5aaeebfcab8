// pixhaven-skinrender TABLE SRC_DIR OUT_DIR: renders every skin image the table lists from its SVG
// source into OUT_DIR, PNG at table size plus an @2x PNG, BMP on white for the .bmp names.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

#include "tools/skinrender/skintable.h"

namespace {

using pixhaven::skinrender::SkinEntry;

void Complain(const QString& message) {
    std::fprintf(stderr, "pixhaven-skinrender: %s\n", qPrintable(message));
}

// Sources are drawn in output pixels, so a viewBox that differs from the table is a mistake in
// one of the two and would stretch the image.
QString CheckViewBox(const QSvgRenderer& svg, const SkinEntry& entry) {
    const QRectF box = svg.viewBoxF();
    if (qRound(box.width()) == entry.width && qRound(box.height()) == entry.height)
        return {};
    return QStringLiteral("%1: viewBox %2x%3, table says %4x%5")
        .arg(entry.source)
        .arg(box.width())
        .arg(box.height())
        .arg(entry.width)
        .arg(entry.height);
}

QImage Render(QSvgRenderer& svg, int width, int height, bool opaque) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(opaque ? Qt::white : Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&painter, QRectF(0, 0, width, height));
    painter.end();
    return opaque ? image.convertToFormat(QImage::Format_RGB888) : image;
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path))
        return true;
    Complain(QStringLiteral("cannot write %1").arg(path));
    return false;
}

bool RenderEntry(const SkinEntry& entry, const QDir& sources, const QDir& out) {
    QSvgRenderer svg(sources.filePath(entry.source));
    if (!svg.isValid()) {
        Complain(QStringLiteral("line %1: cannot read %2").arg(entry.line).arg(entry.source));
        return false;
    }
    if (const QString problem = CheckViewBox(svg, entry); !problem.isEmpty()) {
        Complain(problem);
        return false;
    }
    const bool bitmap = entry.name.endsWith(QStringLiteral(".bmp"));
    if (!Save(Render(svg, entry.width, entry.height, bitmap), out.filePath(entry.name)))
        return false;
    const auto doubled = pixhaven::skinrender::DoubleDensityName(entry.name);
    return !doubled ||
           Save(Render(svg, entry.width * 2, entry.height * 2, false), out.filePath(*doubled));
}

bool RenderAll(const QString& tablePath, const QDir& sources, const QDir& out) {
    QFile file(tablePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Complain(QStringLiteral("cannot read %1").arg(tablePath));
        return false;
    }
    const auto table = pixhaven::skinrender::ParseSkinTable(QString::fromUtf8(file.readAll()));
    if (!table.error.isEmpty()) {
        Complain(tablePath + QStringLiteral(": ") + table.error);
        return false;
    }
    if (!out.mkpath(QStringLiteral("."))) {
        Complain(QStringLiteral("cannot create %1").arg(out.path()));
        return false;
    }
    bool allWritten = true;
    for (const SkinEntry& entry : table.entries)
        allWritten = RenderEntry(entry, sources, out) && allWritten;
    return allWritten;
}

}  // namespace

int main(int argc, char** argv) {
    // Renders without a display: the build machine may have none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        Complain(QStringLiteral("usage: pixhaven-skinrender TABLE SRC_DIR OUT_DIR"));
        return 2;
    }
    return RenderAll(args[1], QDir(args[2]), QDir(args[3])) ? EXIT_SUCCESS : EXIT_FAILURE;
}
