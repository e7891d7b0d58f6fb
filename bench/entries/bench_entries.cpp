// Entry store figures on a full entry file (32767 entries, 60-character actions):
// getinfo, the first parse of the file, one ini_read, the Remove command's writes as one
// group, single durable ini_write calls, and the resident memory of the program started
// with that file. Prints median and 95th percentile of several runs beside each target.
//
//   build/bench/entries/bench_entries [runs]     (default 9 runs; the file goes to a
//                                                 temporary folder under $TMPDIR or /tmp)
//
// The first getinfo of a process is measured in processes of its own, started for it:
// it alone meets memory that the process has never used, as the program's start-up does.

#include "entries/entrytables.h"
#include "entries/ini.h"
#include "entries/ini/fileprofile.h"
#include "entries/ini/inifile.h"
#include "platform/profile.h"

#ifdef DUDUD_WITH_PROGRAM
#include "benchfigures.h"
#include "harness.h"

#include <QThread>
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kEntries = 32767;

QByteArray entryFile()
{
    static const char *const keys[] = {"1",  "2",  "3",  "4",  "5",  "6",   "7",   "8",  "9",  "0",
                                       "A",  "B",  "C",  "D",  "E",  "F",   "G",   "H",  "I",  "J",
                                       "K",  "L",  "M",  "N",  "O",  "P",   "Q",   "R",  "S",  "T",
                                       "U",  "V",  "W",  "X",  "Y",  "Z",   "F1",  "F2", "F3", "F4",
                                       "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12"};
    QByteArray out = "[count]\nc=" + QByteArray::number(kEntries) + "\n";
    for (int i = 1; i <= kEntries; ++i) {
        QByteArray action = "C:\\Program Files\\Tools\\entry" + QByteArray::number(i) + "\\";
        while (action.size() < 56)
            action.append(char('a' + action.size() % 26));
        action += ".exe";
        out += "[" + QByteArray::number(i) + "]\nAction=" + action +
               "\nHotkey=" + (i % 3 ? QByteArray() : QByteArray(keys[i % 48])) + "\nKeyword=kw" +
               QByteArray::number(i) + "\n";
    }
    return out;
}

struct Figures
{
    double median = 0, p95 = 0;
};

Figures figuresOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    auto rank = [&](double q) {
        const size_t i = size_t(std::max(0.0, std::ceil(q * double(ms.size())) - 1));
        return ms[std::min(i, ms.size() - 1)];
    };
    return {rank(0.5), rank(0.95)};
}

void report(const char *what, const std::vector<double> &ms, double target)
{
    const Figures f = figuresOf(ms);
    if (target > 0)
        std::printf("%-44s median %9.3f ms   p95 %9.3f ms   target < %5.0f ms   %s\n", what,
                    f.median, f.p95, target, f.p95 < target ? "met" : "MISSED");
    else
        std::printf("%-44s median %9.3f ms   p95 %9.3f ms\n", what, f.median, f.p95);
}

void reportMb(const char *what, const std::vector<double> &mb, double target)
{
    const Figures f = figuresOf(mb);
    std::printf("%-44s median %9.1f MB   p95 %9.1f MB   target < %5.0f MB   %s\n", what, f.median,
                f.p95, target, f.p95 < target ? "met" : "MISSED");
}

#ifdef DUDUD_WITH_PROGRAM
double rssMb(qint64 pid)
{
    return procMb(pid, "status", "VmRSS");
}

/// The real program started with @p file under its own X server with a tray, resident
/// memory once its icon is docked and start-up has settled; negative when it did not start.
double programRssMb(const QByteArray &file)
{
    E2eSession x;
    if (!x.ok())
        return -1;
    x.writeEntryFile(file);
    if (!x.startApp())
        return -1;
    for (int i = 0; i < 400 && x.trayIconsOfApp().isEmpty(); ++i)
        QThread::msleep(25);
    QThread::msleep(1000);
    return rssMb(x.app()->processId());
}
#endif

double timeMs(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

long minorFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

/// Microseconds the first touch of a fresh page of memory costs here, page by page: what the
/// first read avoids by putting its large tables in huge pages.
double pageFaultUs()
{
    constexpr size_t size = 16 << 20;
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return 0;
    const double ms = timeMs([&] {
        for (size_t i = 0; i < size; i += 4096)
            static_cast<volatile char *>(p)[i] = 1;
    });
    munmap(p, size);
    return ms * 1000 / double(size / 4096);
}

bool restore(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

/// "--first-getinfo FOLDER": one getinfo of the entry file in FOLDER, the first of this
/// process; prints its milliseconds and page faults.
int firstGetinfo(const QString &folder)
{
    ini::FileProfile fresh;
    const QString path = entryFilePath(folder);
    EntryTables t;
    const long faults = minorFaults();
    const double ms = timeMs([&] { t.getinfo(fresh, path); });
    if (t.count() != kEntries)
        return 1;
    std::printf("%.3f %ld\n", ms, minorFaults() - faults);
    return 0;
}

/// The first getinfo of @p runs processes started for it: milliseconds, and the median
/// page faults in @p faults; empty when one failed.
std::vector<double> firstGetinfos(const QString &folder, int runs, long *faults)
{
    std::vector<double> ms;
    std::vector<long> counts;
    for (int r = 0; r < runs; ++r) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--first-getinfo"), folder});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return {};
        const QList<QByteArray> fields = p.readAllStandardOutput().trimmed().split(' ');
        ms.push_back(fields.value(0).toDouble());
        counts.push_back(fields.value(1).toLong());
    }
    std::sort(counts.begin(), counts.end());
    *faults = counts[counts.size() / 2];
    return ms;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArrayView(argv[1]) == "--first-getinfo")
        return firstGetinfo(QString::fromLocal8Bit(argv[2]));
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    // The profile of the program's run, which keeps what it parsed for the next read.
    ini::FileProfile profile;
    const QString path = entryFilePath(dir.path());
    const QByteArray original = entryFile();
    if (!restore(path, original)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("entry file: %d entries, 60-character actions, %.1f MB, %d runs each (the first "
                "getinfo of a process: at least 20)\n",
                kEntries, double(original.size()) / 1e6, runs);

    long firstFaults = 0;
    // More processes than runs: each is quick, and one slow start-up is the p95 of few.
    const std::vector<double> first = firstGetinfos(dir.path(), std::max(runs, 20), &firstFaults);
    if (first.empty()) {
        std::fprintf(stderr, "the first getinfo of a process failed\n");
        return 1;
    }

    // Cold: a profile that has never seen the file, so the figure includes reading and
    // parsing it (another program's edit; the first run is this process's first). Warm: the
    // file is unchanged since the last call (every reload after the program's own write).
    std::vector<double> cold, warm;
    for (int r = 0; r <= runs; ++r) {
        ini::FileProfile fresh;
        EntryTables t;
        const double ms = timeMs([&] { t.getinfo(fresh, path); });
        if (r > 0)
            cold.push_back(ms);
        if (t.count() != kEntries || t.list()->rowCount() != kEntries) {
            std::fprintf(stderr, "getinfo read %d entries\n", t.count());
            return 1;
        }
    }
    profile.read(path, "count", "c", QString());
    for (int r = 0; r < runs; ++r) {
        EntryTables t;
        warm.push_back(timeMs([&] { t.getinfo(profile, path); }));
    }
    // The floor under getinfo: each of its reads checks the file with one stat call.
    const QByteArray native = QFile::encodeName(path);
    std::vector<double> stats;
    for (int r = 0; r < runs; ++r) {
        stats.push_back(timeMs([&] {
            struct stat st;
            for (int i = 0; i < 3 * kEntries + 1; ++i)
                ::stat(native.constData(), &st);
        }));
    }
    report("anchor: stat() of the file x 98302", stats, 0);
    const double faultUs = pageFaultUs();
    std::printf("anchor: first touch of a fresh page          %9.2f us\n", faultUs);
    report("getinfo, first of a process", first, 30);
    std::printf("%-44s median %9ld\n", "  its page faults", firstFaults);
    report("getinfo, first read of the file, later", cold, 30);
    report("getinfo, file unchanged since last call", warm, 30);

    // The parse alone, of bytes already in memory. The program lets the parsed file go after
    // each getinfo; so does this, before the parses.
    profile.releaseCache();
    std::vector<double> parse;
    for (int r = 0; r < runs; ++r) {
        parse.push_back(timeMs([&] {
            const ini::IniDocument doc(original);
            if (!doc.value(QStringLiteral("count"), QStringLiteral("c")))
                std::abort();
        }));
    }
    report("first parse of the file (3.3 MB in memory)", parse, 10);

    profile.read(path, "count", "c", QString());
    const QString last = QString::number(kEntries);
    std::vector<double> readCold, readWarm;
    QString value;
    for (int r = 0; r < runs; ++r) {
        ini::FileProfile fresh;
        readCold.push_back(
            timeMs([&] { value = ini_read(fresh, path, last, "Action", QString()); }));
        readWarm.push_back(
            timeMs([&] { value = ini_read(profile, path, last, "Action", QString()); }));
    }
    if (value.size() != 60) {
        std::fprintf(stderr, "last action has %d characters\n", int(value.size()));
        return 1;
    }
    report("ini_read of the last entry, first read", readCold, 5);
    report("ini_read of the last entry, file unchanged", readWarm, 5);

    // Remove entry 1: the count, then every later entry one section down, from the tables.
    EntryTables tables;
    tables.getinfo(profile, path);
    std::vector<double> remove;
    for (int r = 0; r < runs; ++r) {
        if (!restore(path, original))
            return 1;
        profile.read(path, "count", "c", QString());
        bool ok = true;
        remove.push_back(timeMs([&] {
            platform::ProfileGroup group(profile);
            ok &= ini_write(profile, path, "count", "c", QString::number(kEntries - 1)).ok;
            for (int i = 1; i < kEntries; ++i) {
                const QString section = QString::number(i);
                ok &= ini_write(profile, path, section, "Action", tables.Action.at(i)).ok;
                ok &= ini_write(profile, path, section, "Hotkey", tables.Hotkey.at(i)).ok;
                ok &= ini_write(profile, path, section, "Keyword", tables.Keyword.at(i)).ok;
            }
            ok &= group.commit().ok;
        }));
        if (!ok || ini_read(profile, path, "1", "Keyword", QString()) != QLatin1String("kw2")) {
            std::fprintf(stderr, "grouped Remove failed\n");
            return 1;
        }
    }
    report("Remove entry 1, one group (98299 writes)", remove, 60);

    if (!restore(path, original))
        return 1;
    profile.read(path, "count", "c", QString());
    std::vector<double> single;
    for (int r = 0; r < runs; ++r) {
        const QString n = QString::number(r);
        for (const char *key : {"Action", "Hotkey", "Keyword"}) {
            bool ok = true;
            single.push_back(timeMs([&] { ok = ini_write(profile, path, "1", key, n).ok; }));
            if (!ok)
                return 1;
        }
    }
    report("ini_write, durable, no group (each)", single, 30);

    // The entry file path is built for every read; this is its cost with the real program
    // folder.
    const QString programDir = QCoreApplication::applicationDirPath();
    std::vector<double> paths;
    for (int r = 0; r < runs; ++r) {
        paths.push_back(timeMs([&] {
            for (int i = 0; i < 3 * kEntries; ++i)
                value = entryFilePath(programDir);
        }));
    }
    report("entryFilePath() x 98301, program folder", paths, 0);

#ifdef DUDUD_WITH_PROGRAM
    std::vector<double> rss;
    for (int r = 0; r < std::min(runs, 3); ++r) {
        const double mb = programRssMb(original);
        if (mb < 0) {
            std::fprintf(stderr, "the program did not start with the full entry file\n");
            return 1;
        }
        rss.push_back(mb);
    }
    reportMb("program's resident memory, this file loaded", rss, 45);
#else
    std::printf("program's resident memory: not measured (built without the test harness)\n");
#endif
    return 0;
}
