#include "mainwindow/rules/windowsize.h"

#include <algorithm>
#include <numeric>

namespace mainwindow {

QList<int> columnWidths(const QList<int> &needs, int room)
{
    QList<int> widths;
    const int n = int(needs.size());
    if (n == 0)
        return widths;
    const int total = std::accumulate(needs.cbegin(), needs.cend(), 0);
    const bool thirdsHold =
        std::all_of(needs.cbegin(), needs.cend(), [&](int need) { return need * n <= room; });
    int given = 0;
    for (int i = 0; i < n; ++i) {
        int w;
        if (thirdsHold || total <= 0)
            w = room / n;
        else if (total <= room)
            w = needs.at(i) + (room - total) / n;
        else
            w = int(qint64(needs.at(i)) * room / total);
        widths << w;
        given += w;
    }
    // What integer division left over goes to the first column, the action, whose texts
    // are the longest; thirds stay equal.
    if (!thirdsHold && total > 0)
        widths[0] += room - given;
    return widths;
}

int wantedColumnRoom(const QList<int> &needs, int design, int cap)
{
    int sum = 0;
    for (int need : needs)
        sum += qMin(need, cap);
    return qMax(design, sum);
}

QRect placeFrame(const QSize &wanted, const QRect &available)
{
    const QSize size = wanted.boundedTo(available.size());
    return QRect(available.x() + available.width() / 2 - size.width() / 2,
                 available.y() + available.height() / 2 - size.height() / 2, size.width(),
                 size.height());
}

} // namespace mainwindow
