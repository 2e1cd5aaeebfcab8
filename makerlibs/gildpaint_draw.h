// The maker's drawing helpers that need a window system: the two-colour fill and fonts.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

// Fills `rect` with a blend from `first` to `second`. Direction 0 runs left to right; 1 runs top to
// bottom.
void gradient_fillrect(QPainter& painter, const QRect& rect, const QColor& first,
                       const QColor& second, int direction = 0);

// A font of `face` at `size` pixels and `weight` (400 normal, 700 bold, as GDI weights). Faces
// missing on the system fall back to metric-compatible ones ("Arial" to Liberation Sans).
QFont get_font(const QString& face, int size, int weight);
