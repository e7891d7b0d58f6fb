#pragma once

#include <QSize>
#include <QString>

class QStyle;
class QWidget;

/// Sizing the windows' controls from their font: the window designs are drawn in pixels for a
/// small font, and a larger font or a larger text scale grows them so that every text is whole.
namespace ui {

/// The smallest size at which @p w shows @p text whole in its own font: the text's bounding
/// box, descenders included, and what its style draws around the text. For a text box,
/// @p text stands for what the user types.
QSize wholeTextSize(const QWidget *w, const QString &text);

/// wholeTextSize() with room to breathe for framed controls (text boxes, lists, buttons): a
/// line taller than the designs' gets a third of the difference as space around its text,
/// and a push button a line's height beside its label. Labels get their whole text size.
QSize roomyTextSize(const QWidget *w, const QString &text);

/// How much taller the font of @p w is than the one the designs were drawn for; at least 1.
/// Fields that hold what the user types are made this much wider.
qreal fontGrowth(const QWidget *w);

/// The desktop's style with a line's height between a menu item's label and its shortcut:
/// the styles size an item for the two side by side, which leaves them touching once the
/// font is large ("Dudud AdadadizF7"). For QApplication::setStyle(), which takes it.
QStyle *createMenuSpacingStyle();

} // namespace ui
