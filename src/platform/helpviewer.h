#pragma once

#include <QString>

class QWidget;

namespace platform {

/// Help viewer commands.
enum HelpCommand : unsigned {
    HelpFinder = 11,      ///< the topics window: list of topics, selected topic's text
    HelpPartialKey = 261, ///< the index, with @p data as the start of the keyword
};

/// Shows a help file. One viewer window at a time; called again, it is brought forward.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;
    /// Opens @p path with @p command. A missing or damaged file gives the viewer's own
    /// message naming the file. Returns false when the file could not be shown.
    virtual bool WinHelpA(QWidget *owner, const QString &path, unsigned command,
                          const QString &data) = 0;
};

} // namespace platform
