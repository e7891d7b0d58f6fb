// Takes the README's pictures from a session that looks like real use: the real program
// under Xvfb with openbox and a tray, a few believable entries, driven by real keys. Each
// picture is cropped to the window it shows. Asserts nothing; says what it could not take.
//
//   pictures FOLDER

#include "harness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include <cstdio>

namespace {

const QString mainTitle = QStringLiteral("ZIZI Dudud Adadadiz");

/// A web page, a document, a program with an argument, a folder.
const QByteArray entries =
    "[count]\nc=4\n"
    "[1]\nAction=https://www.debian.org/releases/bookworm/\nHotkey=E\nKeyword=debian\n"
    "[2]\nAction=/home/me/Documents/Budget 2026.ods\nHotkey=F12\nKeyword=budget\n"
    "[3]\nAction=/usr/bin/xterm -e htop\nHotkey=T\nKeyword=top\n"
    "[4]\nAction=/home/me/Pictures\nHotkey=\nKeyword=pics\n";

struct Pictures
{
    QString folder;
    int missing = 0;

    /// Saves the screen of @p x as FOLDER/NAME.png, cropped to @p area (the focused window
    /// with its frame when empty).
    void take(const E2eSession &x, const QString &name, QRect area = {})
    {
        QTest::qWait(400); // painted, the cursor shown
        const QImage screen(x.screenshot(QStringLiteral("probe-") + name));
        if (area.isEmpty())
            area = x.focusedFrame();
        area = area.intersected(screen.rect());
        const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
        if (screen.isNull() || area.isEmpty() || !screen.copy(area).save(file)) {
            std::fprintf(stderr, "pictures: %s not taken\n", qPrintable(name));
            ++missing;
            return;
        }
        std::printf("%s\n", qPrintable(file));
    }
};

bool waitFor(const std::function<bool()> &condition, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < ms)
        QTest::qWait(50);
    return condition();
}

void keys(const E2eSession &x, const QString &k)
{
    x.xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), k});
}

void type(const E2eSession &x, const QString &text)
{
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

/// Starts the program and brings its main window up in front; returns the window.
QString mainWindow(E2eSession &x, const QStringList &env)
{
    if (!x.startApp(env) || !waitFor([&] { return !x.trayIconsOfApp().isEmpty(); }, 10000))
        return {};
    QProcess second;
    second.setProcessEnvironment(x.environment());
    second.start(x.path(QStringLiteral("dudud-adadadiz")), {});
    second.waitForFinished(10000);
    if (!waitFor([&] { return !x.visibleWindows(mainTitle).isEmpty(); }))
        return {};
    const QString w = x.visibleWindows(mainTitle).first();
    return x.activate(w) ? w : QString();
}

/// The first start, with no entry file: the message beside the tray icon.
void firstStart(Pictures &p)
{
    E2eSession x;
    if (!x.ok() || !x.startApp())
        return;
    QTest::qWait(2500); // the icon docked, the message shown
    const QRect icon = x.geometry(x.trayIconsOfApp().value(0));
    // The message stands above the icon, at the screen's lower right corner.
    p.take(x, QStringLiteral("first-start"), QRect(icon.right() - 520, icon.top() - 200, 540, 232));
}

/// The windows at the default font.
void defaultLook(Pictures &p)
{
    E2eSession x;
    if (!x.ok())
        return;
    x.writeEntryFile(entries);
    const QString w = mainWindow(x, {});
    if (w.isEmpty()) {
        std::fprintf(stderr, "pictures: no main window: %s\n", qPrintable(x.error()));
        ++p.missing;
        return;
    }
    p.take(x, QStringLiteral("main-window"));

    keys(x, QStringLiteral("F3"));
    waitFor([&] { return x.focusedWindow() != w; });
    type(x, QStringLiteral("notes"));
    keys(x, QStringLiteral("Tab"));
    type(x, QStringLiteral("N"));
    keys(x, QStringLiteral("Tab"));
    type(x, QStringLiteral("/home/me/Documents/notes.txt"));
    p.take(x, QStringLiteral("editor-add"));
    keys(x, QStringLiteral("Escape"));
    waitFor([&] { return x.activate(w); });

    keys(x, QStringLiteral("Delete"));
    waitFor([&] { return x.focusedWindow() != w; });
    p.take(x, QStringLiteral("remove-question"));
    keys(x, QStringLiteral("Escape"));
    waitFor([&] { return x.activate(w); });

    keys(x, QStringLiteral("ctrl+b"));
    waitFor([&] { return x.focusedWindow() != w; });
    p.take(x, QStringLiteral("about"));
    keys(x, QStringLiteral("Escape"));
    waitFor([&] { return x.activate(w); });

    keys(x, QStringLiteral("F1"));
    waitFor([&] { return !x.visibleWindows(QStringLiteral("Help for Dudud Adadadiz")).isEmpty(); });
    x.activate(x.visibleWindows(QStringLiteral("Help for Dudud Adadadiz")).value(0));
    p.take(x, QStringLiteral("help-contents"));
    keys(x, QStringLiteral("Escape"));

    // The prompt, over the main window as over any other program.
    x.activate(w);
    x.chord({E2eSession::KeyF7}, 40);
    waitFor([&] { return x.focusedWindow() != w; });
    type(x, QStringLiteral("debian"));
    p.take(x, QStringLiteral("prompt"));
    // The suggestion list, with part of a keyword typed ("b" shows "budget").
    x.xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    type(x, QStringLiteral("b"));
    QTest::qWait(400);
    p.take(x, QStringLiteral("prompt-suggestions"));

    x.xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    type(x, QStringLiteral("nothing"));
    x.chord({E2eSession::KeyReturn}, 30);
    QTest::qWait(800);
    p.take(x, QStringLiteral("prompt-unknown"));
}

/// The main window at a 20 pt desktop font.
void largeFont(Pictures &p)
{
    E2eSession x;
    if (!x.ok())
        return;
    x.writeEntryFile(entries);
    if (mainWindow(x, E2eSession::lookEnvironment(QStringLiteral("font20"))).isEmpty()) {
        ++p.missing;
        return;
    }
    p.take(x, QStringLiteral("main-window-20pt"));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictures FOLDER\n");
        return 2;
    }
    Pictures p{QString::fromLocal8Bit(argv[1])};
    if (!QDir().mkpath(p.folder)) {
        std::fprintf(stderr, "pictures: cannot make %s\n", argv[1]);
        return 1;
    }
    firstStart(p);
    defaultLook(p);
    largeFont(p);
    return p.missing ? 1 : 0;
}
