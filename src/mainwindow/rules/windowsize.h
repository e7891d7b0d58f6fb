#pragma once

#include <QList>
#include <QRect>
#include <QSize>

/// The main window's size and its columns, from what its texts need and the screen they
/// are on. All sizes are in the window layer's logical pixels.
namespace mainwindow {

/// The widths of the list's columns in a list whose columns may take @p room in all.
/// @p needs is what each column needs to show its heading and its widest shown text.
/// Where a third each holds every need, the columns are a third each; where the needs fit
/// together, each gets its need and the rest is shared out equally; where they do not fit,
/// each gets its share of @p room in proportion to its need. The widths add up to @p room,
/// but for equal thirds, which may leave a pixel or two.
QList<int> columnWidths(const QList<int> &needs, int room);

/// The room the columns want: the sum of @p needs, each need capped at @p cap (a column
/// wider than that shows its text shortened), but never less than @p design.
int wantedColumnRoom(const QList<int> &needs, int design, int cap);

/// The window's outer rectangle (frame included) on a screen whose free area is
/// @p available, for a window that wants @p wanted as its outer size: no larger than the
/// free area (the list then scrolls) and centred in it.
QRect placeFrame(const QSize &wanted, const QRect &available);

} // namespace mainwindow
