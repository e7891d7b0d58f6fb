#include "platform/keyboard.h"

// Placeholder until the X11 and evdev devices exist: a keyboard that never has a key down.
namespace platform {
namespace {
class NoKeysDown : public KeyboardDevice
{
public:
    bool acquire(QString *) override { return true; }
    bool readState(KeyState &state, QString *) override
    {
        state.fill(0);
        return true;
    }
    QString name() const override { return QStringLiteral("none"); }
};
} // namespace

std::unique_ptr<KeyboardDevice> createKeyboardDevice()
{
    return std::make_unique<NoKeysDown>();
}
} // namespace platform
