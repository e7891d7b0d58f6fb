#include "platform/helpviewer.h"
#include "platform/qt/qtbackends.h"

// Placeholder until the help viewer is built.
namespace platform {
namespace {
class NoHelp : public HelpViewer
{
public:
    bool WinHelpA(QWidget *, const QString &, unsigned, const QString &) override { return false; }
};
} // namespace
std::unique_ptr<HelpViewer> createHelpViewer()
{
    return std::make_unique<NoHelp>();
}
} // namespace platform
