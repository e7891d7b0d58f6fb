#pragma once

// The launcher with fake platform services, over a program folder of its own.

#include "app/launcher.h"
#include "entries/ini/fileprofile.h"
#include "mainwindow/form1.h"
#include "platform/fake/fakeplatform.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct AppRig
{
    QTemporaryDir dir;
    /// Its pointers stay the test's to use once the bundle went to the launcher.
    fake::FakePlatform fp;
    std::unique_ptr<Launcher> launcher;
    int ended = 0;

    /// @p ini, unless null, is written as the entry file first; the entries are read and
    /// written through @p profile, the file-backed one when none is given.
    explicit AppRig(const QByteArray &ini = QByteArray(),
                    std::unique_ptr<platform::Profile> profile = nullptr)
    {
        if (!ini.isNull())
            write(ini);
        fp.bundle.profile = profile ? std::move(profile) : std::make_unique<ini::FileProfile>();
        launcher = std::make_unique<Launcher>(std::move(fp.bundle), dir.path());
        QObject::connect(launcher.get(), &Launcher::ended, [this] { ++ended; });
    }

    void write(const QByteArray &ini)
    {
        QFile f(dir.filePath(QStringLiteral("DAzad.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }

    EntryStore &store() { return launcher->store(); }
    EntryTables &tables() { return launcher->store().tables; }
    /// The main window, made hidden when first asked for.
    Form1 &form() { return launcher->mainWindow(); }
};
