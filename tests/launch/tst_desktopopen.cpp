#include "platform/linux/desktopopen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace desktop;

namespace {

const QString kUrl = QStringLiteral("http://example.com/a b");

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

/// A home folder with a document, a folder holding a script, and a script in a folder with a
/// space; "prog" is the one program in PATH.
struct Home
{
    QTemporaryDir root;
    QString path = root.filePath("home");
    bool ok = root.isValid() && writeFile(path + "/notes.txt", "text") &&
              writeFile(path + "/a b.txt", "text") && script("/docs/tool.sh") &&
              script("/my tools/run.sh");

    bool script(const QString &name)
    {
        return writeFile(path + name, "#!/bin/sh\n") &&
               QFile::setPermissions(path + name,
                                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    static QString lookup(const QString &name)
    {
        if (name.contains(u'/'))
            return desktop::findProgram(name);
        return name == QLatin1String("prog") ? QStringLiteral("/usr/lib/fake/prog") : QString();
    }
};

QByteArray app(const QByteArray &exec, const QByteArray &extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=Web\nExec=" + exec + "\n" + extra;
}

} // namespace

class TstDesktopOpen : public QObject
{
    Q_OBJECT
private slots:
    void splitExec_data();
    void splitExec();
    void expandFieldCodes_data();
    void expandFieldCodes();
    void desktopFileEscapes();
    void mimeappsOrder();
    void defaultApplication_data();
    void defaultApplication();
    void planOpen_data();
    void planOpen();
    void programWithArguments_data();
    void programWithArguments();

private:
    QTemporaryDir m_dir;
};

void TstDesktopOpen::splitExec_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("args");

    QTest::newRow("plain") << "browser %u" << true << QStringList{"browser", "%u"};
    QTest::newRow("blanks collapse") << "a  b\tc" << true << QStringList{"a", "b", "c"};
    QTest::newRow("double quotes keep spaces")
        << R"("/opt/My App/run" --new %U)" << true << QStringList{"/opt/My App/run", "--new", "%U"};
    QTest::newRow("escapes inside double quotes")
        << R"(sh -c "echo \"\$HOME\" \`x\` \\")" << true
        << QStringList{"sh", "-c", R"(echo "$HOME" `x` \)"};
    QTest::newRow("other backslash in quotes is literal")
        << R"("a\nb")" << true << QStringList{R"(a\nb)"};
    QTest::newRow("single quotes") << "'it is' x" << true << QStringList{"it is", "x"};
    QTest::newRow("backslash outside quotes") << R"(a\ b)" << true << QStringList{"a b"};
    QTest::newRow("quoted part joins its word")
        << R"(--x="a b"c)" << true << QStringList{"--x=a bc"};
    QTest::newRow("empty quoted argument") << R"(a "" b)" << true << QStringList{"a", "", "b"};
    QTest::newRow("no shell operators")
        << "x;y|z&&w $(id) >f" << true << QStringList{"x;y|z&&w", "$(id)", ">f"};
    QTest::newRow("unterminated double quote") << R"(a "b)" << false << QStringList{};
    QTest::newRow("unterminated single quote") << "a 'b" << false << QStringList{};
    QTest::newRow("empty") << "" << false << QStringList{};
    QTest::newRow("blanks only") << "  \t " << false << QStringList{};
}

void TstDesktopOpen::splitExec()
{
    QFETCH(QString, exec);
    QFETCH(bool, valid);
    QFETCH(QStringList, args);

    const auto result = desktop::splitExec(exec);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, args);
}

void TstDesktopOpen::expandFieldCodes_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QStringList>("args");

    const QString u = kUrl;
    QTest::newRow("%u") << "browser %u"
                        << "" << QStringList{"browser", u};
    QTest::newRow("%U") << "browser %U"
                        << "" << QStringList{"browser", u};
    QTest::newRow("%f") << "browser %f"
                        << "" << QStringList{"browser", u};
    QTest::newRow("%F") << "browser --new %F"
                        << "" << QStringList{"browser", "--new", u};
    QTest::newRow("quoted %u stays one") << R"(browser "%u")"
                                         << "" << QStringList{"browser", u};
    QTest::newRow("no field code: appended") << "browser -x"
                                             << "" << QStringList{"browser", "-x", u};
    QTest::newRow("embedded in an option") << "browser --url=%u"
                                           << "" << QStringList{"browser", "--url=" + u};
    QTest::newRow("%i with icon") << "browser %i %u"
                                  << "web-icon" << QStringList{"browser", "--icon", "web-icon", u};
    QTest::newRow("%i without icon") << "browser %i %u"
                                     << "" << QStringList{"browser", u};
    QTest::newRow("%c and %k") << "browser %c %k %u"
                               << "" << QStringList{"browser", "Web", "/apps/web.desktop", u};
    QTest::newRow("%% is a percent sign") << "browser 100%% %u"
                                          << "" << QStringList{"browser", "100%", u};
    QTest::newRow("deprecated codes vanish") << "browser %d %D %n %N %v %m %u"
                                             << "" << QStringList{"browser", u};
    QTest::newRow("empty argument kept") << R"(browser "" %u)"
                                         << "" << QStringList{"browser", "", u};
}

void TstDesktopOpen::expandFieldCodes()
{
    QFETCH(QString, exec);
    QFETCH(QString, icon);
    QFETCH(QStringList, args);

    const auto result = execArguments(exec, {kUrl, icon, "Web", "/apps/web.desktop"});
    QVERIFY(result);
    QCOMPARE(*result, args);
}

// Two layers of escaping: the string value first, then the Exec quoting.
void TstDesktopOpen::desktopFileEscapes()
{
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath("escapes/web.desktop");
    QVERIFY(writeFile(path, "# comment\n[Other]\nExec=wrong\n"
                            "[Desktop Entry]\nName[de]=Netz\nName = Web\nIcon=web\n"
                            "Exec=\"/opt/a\\\\\\\\b/run\" --title=My\\sWeb %u\n"
                            "Path=/srv\nHidden=false\n[Desktop Action new]\nExec=other\n"));
    const auto entry = readDesktopEntry(path);
    QVERIFY(entry);
    QCOMPARE(entry->name, QStringLiteral("Web"));
    QCOMPARE(entry->workDir, QStringLiteral("/srv"));
    QVERIFY(!entry->hidden);
    QCOMPARE(*execArguments(entry->exec, {kUrl, entry->icon, entry->name, path}),
             (QStringList{"/opt/a\\b/run", "--title=My", "Web", kUrl}));

    QVERIFY(writeFile(m_dir.filePath("escapes/none.desktop"), "[Other]\nExec=x\n"));
    QVERIFY(!readDesktopEntry(m_dir.filePath("escapes/none.desktop")));
    QVERIFY(!readDesktopEntry(m_dir.filePath("escapes/missing.desktop")));
}

void TstDesktopOpen::mimeappsOrder()
{
    XdgDirs d;
    d.configHome = "/ch";
    d.configDirs = {"/cd1", "/cd2"};
    d.dataHome = "/dh";
    d.dataDirs = {"/dd1"};
    d.desktops = {"kde"};
    QCOMPARE(
        mimeappsFiles(d),
        (QStringList{"/ch/kde-mimeapps.list", "/ch/mimeapps.list", "/cd1/kde-mimeapps.list",
                     "/cd1/mimeapps.list", "/cd2/kde-mimeapps.list", "/cd2/mimeapps.list",
                     "/dh/applications/kde-mimeapps.list", "/dh/applications/mimeapps.list",
                     "/dd1/applications/kde-mimeapps.list", "/dd1/applications/mimeapps.list"}));
}

void TstDesktopOpen::defaultApplication_data()
{
    // Each row builds a small tree: "file|content" pairs, with @ for the tree's root. The
    // tree has config home "ch", config dirs "cd", data home "dh", data dirs "dd1" and "dd2".
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected"); // path below the root, or empty for none

    const QByteArray ok = app("/bin/sh %u");
    const QString list = "[Default Applications]\nx-scheme-handler/http=";

    QTest::newRow("config home wins")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop",
                       "cd/mimeapps.list|" + list + "b.desktop", "dh/applications/a.desktop|" + ok,
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/a.desktop";
    QTest::newRow("desktop-specific list first")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop",
                       "ch/kde-mimeapps.list|" + list + "b.desktop",
                       "dh/applications/a.desktop|" + ok, "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("first installed id of a list")
        << QStringList{"ch/mimeapps.list|" + list + "gone.desktop;b.desktop;",
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("uninstalled default falls to the next file")
        << QStringList{"ch/mimeapps.list|" + list + "gone.desktop",
                       "dd1/applications/mimeapps.list|" + list + "c.desktop",
                       "dd2/applications/c.desktop|" + ok}
        << "dd2/applications/c.desktop";
    QTest::newRow("data home shadows data dirs")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop", "dh/applications/a.desktop|" + ok,
                       "dd1/applications/a.desktop|" + ok}
        << "dh/applications/a.desktop";
    QTest::newRow("id with dash finds a subfolder")
        << QStringList{"ch/mimeapps.list|" + list + "vendor-web.desktop",
                       "dd1/applications/vendor/web.desktop|" + ok}
        << "dd1/applications/vendor/web.desktop";
    QTest::newRow("mime type ignores case")
        << QStringList{"ch/mimeapps.list|[Default Applications]\nX-Scheme-Handler/HTTP=a.desktop",
                       "dh/applications/a.desktop|" + ok}
        << "dh/applications/a.desktop";
    QTest::newRow("other groups are not defaults")
        << QStringList{"ch/mimeapps.list|[Added Associations]\nx-scheme-handler/http=a.desktop",
                       "dh/applications/a.desktop|" + ok}
        << "";
    QTest::newRow("hidden entry skipped")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop;b.desktop",
                       "dh/applications/a.desktop|" + app("/bin/sh %u", "Hidden=true\n"),
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("missing TryExec skipped")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop;b.desktop",
                       "dh/applications/a.desktop|" +
                           app("/bin/sh %u", "TryExec=/nonexistent/web\n"),
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("missing program skipped")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop;b.desktop",
                       "dh/applications/a.desktop|" + app("/nonexistent/web %u"),
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("broken Exec skipped")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop;b.desktop",
                       "dh/applications/a.desktop|" + app("\"/bin/sh %u"),
                       "dh/applications/b.desktop|" + ok}
        << "dh/applications/b.desktop";
    QTest::newRow("not an application")
        << QStringList{"ch/mimeapps.list|" + list + "a.desktop",
                       "dh/applications/a.desktop|[Desktop Entry]\nType=Link\nExec=/bin/sh\n"}
        << "";
    QTest::newRow("defaults.list after every mimeapps.list")
        << QStringList{"dd1/applications/defaults.list|" + list + "old.desktop",
                       "dd2/applications/mimeapps.list|" + list + "new.desktop",
                       "dd1/applications/old.desktop|" + ok, "dd1/applications/new.desktop|" + ok}
        << "dd1/applications/new.desktop";
    QTest::newRow("defaults.list alone")
        << QStringList{"dd1/applications/defaults.list|" + list + "old.desktop",
                       "dd1/applications/old.desktop|" + ok}
        << "dd1/applications/old.desktop";
    QTest::newRow("path-like id refused")
        << QStringList{"ch/mimeapps.list|" + list + "../a.desktop", "dh/a.desktop|" + ok} << "";
    QTest::newRow("nothing set") << QStringList{} << "";
}

void TstDesktopOpen::defaultApplication()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const QString &f : files) {
        const qsizetype bar = f.indexOf(u'|');
        QVERIFY(writeFile(root.filePath(f.left(bar)), f.mid(bar + 1).toUtf8()));
    }
    XdgDirs d;
    d.configHome = root.filePath("ch");
    d.configDirs = {root.filePath("cd")};
    d.dataHome = root.filePath("dh");
    d.dataDirs = {root.filePath("dd1"), root.filePath("dd2")};
    d.desktops = {"kde"};

    const auto entry = desktop::defaultApplication(d, "x-scheme-handler/http");
    QCOMPARE(entry ? QDir(root.path()).relativeFilePath(entry->path) : QString(), expected);
}

void TstDesktopOpen::planOpen_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target"); // @ is the home folder
    QTest::addColumn<QString>("workDir");

    const int nothing = OpenPlan::Nothing, run = OpenPlan::Run, opener = OpenPlan::Opener;
    QTest::newRow("empty") << "" << nothing << ""
                           << "";
    QTest::newRow("home alone") << "~" << opener << "@"
                                << "@";
    QTest::newRow("folder under ~/") << "~/docs" << opener << "@/docs"
                                     << "@";
    QTest::newRow("document under ~/") << "~/notes.txt" << opener << "@/notes.txt"
                                       << "@";
    QTest::newRow("program under ~/ runs in its folder")
        << "~/docs/tool.sh" << run << "@/docs/tool.sh"
        << "@/docs";
    QTest::newRow("absolute document") << "@/notes.txt" << opener << "@/notes.txt"
                                       << "@";
    QTest::newRow("absolute missing") << "@/missing.txt" << nothing << ""
                                      << "";
    QTest::newRow("bare name in PATH") << "prog" << run << "/usr/lib/fake/prog"
                                       << "@";
    QTest::newRow("bare name not in PATH, file in home") << "notes.txt" << opener << "@/notes.txt"
                                                         << "@";
    QTest::newRow("bare name nowhere") << "nosuch" << nothing << ""
                                       << "";
    QTest::newRow("relative path from home") << "docs/tool.sh" << run << "@/docs/tool.sh"
                                             << "@/docs";
    QTest::newRow("mailto") << "mailto:x@y" << opener << "mailto:x@y"
                            << "@";
    QTest::newRow("file url") << "file:///tmp" << opener << "file:///tmp"
                              << "@";
    QTest::newRow("drive letter is no scheme") << "c:\\x" << nothing << ""
                                               << "";
    QTest::newRow("shell sequence") << "x; touch @/owned" << nothing << ""
                                    << "";
    QTest::newRow("command substitution") << "$(id)" << nothing << ""
                                          << "";
    QTest::newRow("backquotes") << "`id`" << nothing << ""
                                << "";
    QTest::newRow("leading space not trimmed") << " ~/docs" << nothing << ""
                                               << "";
    QTest::newRow("other user's home not expanded") << "~root/x" << nothing << ""
                                                    << "";
}

void TstDesktopOpen::planOpen()
{
    QFETCH(QString, action);
    QFETCH(int, kind);
    QFETCH(QString, target);
    QFETCH(QString, workDir);

    Home h;
    QVERIFY(h.ok);
    const QString home = h.path;

    action.replace(u'@', home);
    const OpenPlan plan = desktop::planOpen(action, home, Home::lookup);
    QCOMPARE(int(plan.kind), kind);
    QCOMPARE(plan.target, target.replace(u'@', home));
    QCOMPARE(plan.workDir, workDir.replace(u'@', home));
}

void TstDesktopOpen::programWithArguments_data()
{
    QTest::addColumn<QString>("action"); // @ is the home folder
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("why"); // part of the reason given for Nothing

    const int nothing = OpenPlan::Nothing, run = OpenPlan::Run, opener = OpenPlan::Opener;
    const QString prog = QStringLiteral("/usr/lib/fake/prog");
    QTest::newRow("program in PATH with arguments")
        << "prog --help  -v" << run << prog << QStringList{"--help", "-v"} << "";
    QTest::newRow("double-quoted words")
        << R"(prog "a b" c)" << run << prog << QStringList{"a b", "c"} << "";
    QTest::newRow("escapes inside quotes")
        << R"(prog "say \"hi\" \`x\` \$HOME \\ \n")" << run << prog
        << QStringList{R"(say "hi" `x` $HOME \ \n)"} << "";
    QTest::newRow("quoted part joins its word, empty quotes are a word")
        << R"(prog --x="a b" "")" << run << prog << QStringList{"--x=a b", ""} << "";
    QTest::newRow("apostrophe and backslash outside quotes are literal")
        << R"(prog it's a\ b)" << run << prog << QStringList{"it's", "a\\", "b"} << "";
    QTest::newRow("no shell: operators and expansions are words")
        << "prog ; touch x $(id) * ~/y" << run << prog
        << QStringList{";", "touch", "x", "$(id)", "*", "~/y"} << "";
    QTest::newRow("program under ~/ with an argument")
        << "~/docs/tool.sh -v" << run << "@/docs/tool.sh" << QStringList{"-v"} << "";
    QTest::newRow("quoted program path with a space")
        << R"("@/my tools/run.sh" x)" << run << "@/my tools/run.sh" << QStringList{"x"} << "";
    QTest::newRow("existing program path with a space stays whole")
        << "@/my tools/run.sh" << run << "@/my tools/run.sh" << QStringList{} << "";
    QTest::newRow("existing document with a space stays whole")
        << "~/a b.txt" << opener << "@/a b.txt" << QStringList{} << "";
    QTest::newRow("document is no program")
        << "@/notes.txt x" << nothing << "" << QStringList{} << "is not a program";
    QTest::newRow("relative first word is no program")
        << "docs/tool.sh x" << nothing << "" << QStringList{} << "no file, folder or program";
    QTest::newRow("missing program")
        << "/no/such/prog x" << nothing << "" << QStringList{} << "no file, folder or program";
    QTest::newRow("unclosed quote")
        << R"(prog "a b)" << nothing << "" << QStringList{} << "double quote in it is not closed";
    QTest::newRow("empty action") << "" << nothing << "" << QStringList{} << "empty";
}

// A text that is not one existing path, read as a program and its exact arguments.
void TstDesktopOpen::programWithArguments()
{
    QFETCH(QString, action);
    QFETCH(int, kind);
    QFETCH(QString, target);
    QFETCH(QStringList, args);
    QFETCH(QString, why);
    Home h;
    QVERIFY(h.ok);

    const OpenPlan plan = desktop::planOpen(action.replace(u'@', h.path), h.path, Home::lookup);
    QCOMPARE(int(plan.kind), kind);
    QCOMPARE(plan.target, target.replace(u'@', h.path));
    QCOMPARE(plan.args, args);
    QVERIFY2(plan.why.contains(why) && plan.why.isEmpty() == why.isEmpty(), qPrintable(plan.why));
}

QTEST_GUILESS_MAIN(TstDesktopOpen)
#include "tst_desktopopen.moc"
