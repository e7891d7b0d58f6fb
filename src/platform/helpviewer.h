#pragma once

#include <QString>

class QWidget;

namespace platform {

/// Shows a help file. One viewer window at a time: called again, for either view, the same
/// window is brought forward and switched to it. The viewer owns its window; @p owner only
/// tells it where to appear and may be hidden or null.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    /// Shows @p path's topics: the list of topics beside the selected topic's text.
    /// A missing or damaged file gives the viewer's own message naming the file instead.
    /// Returns false when the file could not be shown.
    virtual bool showContents(QWidget *owner, const QString &path) = 0;
    /// Shows @p path's keyword index with an empty search field; errors as showContents().
    virtual bool showIndex(QWidget *owner, const QString &path) = 0;
};

} // namespace platform
