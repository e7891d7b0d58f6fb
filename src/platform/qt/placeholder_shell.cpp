#include "platform/qt/qtbackends.h"
#include "platform/shell.h"

// Placeholder until the desktop opener is built.
namespace platform {
namespace {
class NoShell : public Shell
{
public:
    bool open(const QString &) override { return false; }
    bool openUrl(const QString &) override { return false; }
};
} // namespace
std::unique_ptr<Shell> createShell()
{
    return std::make_unique<NoShell>();
}
} // namespace platform
