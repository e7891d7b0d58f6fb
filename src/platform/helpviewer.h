#pragma once

#include <QString>

class QWidget;

namespace platform {

/// Shows a help file. One viewer window at a time; called again, it is brought forward.
/// A missing or damaged file gives the viewer's own message naming the file.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    /// The topics window: the list of topics and the selected topic's text. Returns false
    /// when the file could not be shown.
    virtual bool showContents(QWidget *owner, const QString &path) = 0;
    /// The index of keywords. Returns false when the file could not be shown.
    virtual bool showIndex(QWidget *owner, const QString &path) = 0;
};

} // namespace platform
