#include "platform/backends.h"
#include "platform/qt/windowactivation.h"
#include "platform/windowfocus.h"

#include <QApplication>

namespace platform {
namespace {

class QtWindowFocus : public WindowFocus
{
public:
    bool activate(QWidget *window) override { return requestKeyboardFocus(window); }
    FocusOwner focusOwner(const QWidget *window) override { return keyboardFocusOwner(window); }
    bool programActive() const override { return QApplication::activeWindow() != nullptr; }
};

} // namespace

std::unique_ptr<WindowFocus> createWindowFocus()
{
    return std::make_unique<QtWindowFocus>();
}

} // namespace platform
