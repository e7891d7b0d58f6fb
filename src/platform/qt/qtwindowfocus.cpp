#include "platform/qt/qtbackends.h"
#include "platform/windowfocus.h"
#include "platform/x11/x11focuslink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <memory>

namespace platform {
namespace {

// How long a request keeps trying, and the pause between attempts. The window manager
// usually maps and focuses within a few milliseconds.
constexpr int AttemptIntervalMs = 10;
constexpr int GiveUpAfterMs = 500;
// Requests sent after the window is mapped, at most; one is normally enough.
constexpr int MaxRequests = 3;
constexpr int RequestSpacingMs = 60;

/// Qt's own connection to the X server; null off X11 (offscreen, Wayland).
_XDisplay *qtDisplay()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

/// The link, opened on first use and closed with the application: the X server may be gone
/// after that, and the X library ends the process on a broken connection.
X11FocusLink *link()
{
    static X11FocusLink *s_link = nullptr;
    static bool s_failed = false;
    if (!s_link && !s_failed && qGuiApp) {
        s_link = new X11FocusLink(qtDisplay());
        if (!s_link->isOpen()) {
            delete s_link;
            s_link = nullptr;
            s_failed = true;
            return nullptr;
        }
        qAddPostRoutine([] {
            delete s_link;
            s_link = nullptr;
        });
    }
    return s_link;
}

struct Attempt
{
    QPointer<QWidget> window;
    QElapsedTimer started;
    QElapsedTimer sinceRequest;
    int requests = 0;
};

void attempt(std::shared_ptr<Attempt> a)
{
    QWidget *w = a->window;
    if (!w || !w->isVisible() || a->requests >= MaxRequests || a->started.elapsed() > GiveUpAfterMs)
        return;
    X11FocusLink *l = link();
    if (!l)
        return;
    const X11FocusLink::WindowId id = w->winId();
    // Only the server's word counts: shown again soon after a hide, the window may still be
    // active in Qt's eyes while another application has the keyboard.
    if (l->focusWindow() == id)
        return;
    const bool due = a->requests == 0 || a->sinceRequest.elapsed() >= RequestSpacingMs;
    if (due && l->isViewable(id)) {
        l->requestActivation(id);
        ++a->requests;
        a->sinceRequest.start();
    }
    QTimer::singleShot(AttemptIntervalMs, w, [a] { attempt(a); });
}

/// The keyboard focus on X11, asked on a connection of our own. Off X11 it asks nothing and
/// answers Unknown.
class QtWindowFocus : public WindowFocus
{
public:
    bool activate(QWidget *window) override
    {
        // The window must be mapped first, so the request is made from the event loop.
        if (!window || !qtDisplay())
            return false;
        auto a = std::make_shared<Attempt>();
        a->window = window->window();
        a->started.start();
        QTimer::singleShot(0, a->window, [a] { attempt(a); });
        return true;
    }

    FocusOwner focusOwner(const QWidget *window) override
    {
        if (!qtDisplay())
            return FocusOwner::Unknown;
        X11FocusLink *l = link();
        if (!l)
            return FocusOwner::Unknown;
        const QWindow *mine =
            window && window->window()->windowHandle() ? window->window()->windowHandle() : nullptr;
        const X11FocusLink::WindowId mineId = mine && mine->handle() ? mine->winId() : 0;
        QSet<X11FocusLink::WindowId> ours;
        for (QWindow *w : QGuiApplication::allWindows()) {
            if (w->handle())
                ours.insert(w->winId());
        }
        return l->focusOwner(mineId, ours);
    }

    bool programActive() const override { return QApplication::activeWindow() != nullptr; }
};

} // namespace

std::unique_ptr<WindowFocus> makeQtWindowFocus()
{
    return std::make_unique<QtWindowFocus>();
}

} // namespace platform
