#pragma once

#include <QIcon>

class QWidget;

/// What every window of the program shares.
namespace ui {

/// The program's icon, from the resources linked into the UI library.
QIcon programIcon();

/// Shows @p w, puts it in front of the program's other windows and asks for the keyboard
/// focus: the way a command finds a window that is already open.
void bringForward(QWidget *w);

} // namespace ui
