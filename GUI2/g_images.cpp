#include "GUI2/g_images.hpp"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace {

// A sheet of cells with a header row: the picture of a worksheet turning
// into a table.
void draw_grid(QPainter& painter, const QRectF& area, int columns, int rows)
{
    const double w = area.width() / columns, h = area.height() / rows;
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1));
    painter.setBrush(QColor(255, 255, 255, 60));
    painter.drawRect(area);
    painter.fillRect(QRectF(area.left(), area.top(), area.width(), h), QColor(255, 255, 255, 140));
    for (int c = 1; c < columns; ++c)
        painter.drawLine(QPointF(area.left() + c * w, area.top()), QPointF(area.left() + c * w, area.bottom()));
    for (int r = 1; r < rows; ++r)
        painter.drawLine(QPointF(area.left(), area.top() + r * h), QPointF(area.right(), area.top() + r * h));
}

QPixmap painted(int width, int height, const QColor& top, const QColor& bottom, const QRectF& grid, int columns,
                int rows)
{
    QPixmap pixmap(width, height);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.fillRect(pixmap.rect(), gradient);
    draw_grid(painter, grid, columns, rows);
    return pixmap;
}

} // namespace

QPixmap wizard_watermark(int height)
{
    return painted(wizard_watermark_width, std::max(height, 1), QColor(24, 92, 150), QColor(12, 44, 84),
                   QRectF(24, 40, 116, 96), 4, 6);
}

QPixmap wizard_header_image()
{
    return painted(49, 49, QColor(24, 92, 150), QColor(12, 44, 84), QRectF(8, 10, 33, 29), 3, 4);
}

QIcon wizard_icon() { return QIcon(wizard_header_image()); }
