#include "help/helpviewer.h"

#include "help/helpviewerwindow.h"
#include "platform/helpviewer.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

namespace help {
namespace {

/// Keeps at most one viewer window; it lives until the user closes it.
class WindowHelpViewer : public platform::HelpViewer
{
public:
    ~WindowHelpViewer() override { delete m_window.data(); }

    bool showContents(QWidget *owner, const QString &path) override
    {
        return show(owner, path, HelpViewerWindow::ContentsPage);
    }

    bool showIndex(QWidget *owner, const QString &path) override
    {
        return show(owner, path, HelpViewerWindow::IndexPage);
    }

private:
    bool show(QWidget *owner, const QString &path, HelpViewerWindow::Page page)
    {
        const bool created = !m_window;
        if (created)
            m_window = new HelpViewerWindow;
        HelpViewerWindow *w = m_window;

        const bool ok = w->load(path);
        if (ok) {
            if (page == HelpViewerWindow::ContentsPage)
                w->showContents();
            else
                w->showIndex();
        }
        if (created)
            placeNear(w, owner);
        if (w->isMinimized())
            w->showNormal();
        w->show();
        w->raise();
        w->activateWindow();
        return ok;
    }

    // The owner may be hidden (the main window lives in the tray); the viewer then goes to
    // the middle of the screen the owner belongs to.
    static void placeNear(QWidget *w, QWidget *owner)
    {
        QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->availableGeometry();
        QSize size = w->size().boundedTo(area.size());
        w->resize(size);
        w->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }

    QPointer<HelpViewerWindow> m_window;
};

} // namespace

std::unique_ptr<platform::HelpViewer> createHelpViewer()
{
    return std::make_unique<WindowHelpViewer>();
}

} // namespace help
