#include "platform/helpviewer.h"
#include "platform/qt/qtbackends.h"
#include "platform/shell.h"

// Placeholders until the help viewer and the desktop opener are built.
namespace platform {
namespace {
class NoHelp : public HelpViewer
{
public:
    bool WinHelpA(QWidget *, const QString &, unsigned, const QString &) override { return false; }
};
class NoShell : public Shell
{
public:
    bool open(const QString &) override { return false; }
    bool openUrl(const QString &) override { return false; }
};
} // namespace
std::unique_ptr<HelpViewer> createHelpViewer()
{
    return std::make_unique<NoHelp>();
}
std::unique_ptr<Shell> createShell()
{
    return std::make_unique<NoShell>();
}
} // namespace platform
