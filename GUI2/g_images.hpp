// The wizard's own pictures, drawn rather than shipped: the watermark beside
// the first and last page, the small picture of the header, the window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap wizard_watermark();
QPixmap wizard_header_image();
QIcon wizard_icon();
