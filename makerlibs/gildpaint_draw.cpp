// The drawing half of the maker's library: the two-colour fill and font creation on top of Qt.
#include "makerlibs/gildpaint_draw.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace {

// The skin names Windows faces; map them once to the metric-compatible faces we ship with.
void RegisterFaceSubstitutions() {
    static const bool registered = [] {
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
        return true;
    }();
    (void)registered;
}

}  // namespace

void gradient_fillrect(QPainter& painter, const QRect& rect, const QColor& first,
                       const QColor& second, int direction) {
    if (!rect.isValid()) {
        return;
    }
    const QPointF start = rect.topLeft();
    const QPointF end = direction == 1 ? QPointF(rect.left(), rect.bottom() + 1)
                                       : QPointF(rect.right() + 1, rect.top());
    QLinearGradient gradient(start, end);
    gradient.setColorAt(0.0, first);
    gradient.setColorAt(1.0, second);
    painter.fillRect(rect, gradient);
}

QFont get_font(const QString& face, int size, int weight) {
    RegisterFaceSubstitutions();
    QFont font(face);
    // GDI heights may be given negative (character height); either way it is a pixel size.
    font.setPixelSize(std::max(1, size < 0 ? -size : size));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight <= 0 ? 400 : weight, 1, 1000)));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
