#pragma once

// Small helpers shared by the whole-program benchmarks.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <ctime>

/// Wall-clock milliseconds, comparable with the stamps that action scripts write.
inline double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

/// A figure in kB of a /proc file of process @p pid ("status" VmRSS, "smaps_rollup" Pss), in
/// MB; -1 when it cannot be read.
inline double procMb(qint64 pid, const char *file, const QByteArray &field)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

struct Stats
{
    double median = -1, p95 = -1;
    int n = 0;
};

/// Median and 95th percentile (nearest rank) of @p v.
inline Stats stats(QList<double> v)
{
    if (v.isEmpty())
        return {};
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[qMin(int(v.size()) - 1, int(q * (v.size() - 1) + 0.5))]; };
    return {at(0.5), at(0.95), int(v.size())};
}
