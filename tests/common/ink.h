#pragma once

// The ink of text in a picture of a widget: dark grey pixels (frames and backgrounds are
// lighter in the default palette, a default button's frame is coloured).

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>

inline int inkIn(const QImage &img, const QRect &area)
{
    const QRect r = area.intersected(img.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const int spread =
                std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
            n += qGray(c.rgb()) < 100 && spread < 40;
        }
    }
    return n;
}
