// The wizard's own pictures, drawn rather than shipped: the watermark beside
// the first and last page, the small picture of the header, the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

// The watermark as tall as the page it stands beside.
QPixmap wizard_watermark(int height);
inline constexpr int wizard_watermark_width = 164;
QPixmap wizard_header_image();
QIcon wizard_icon();
