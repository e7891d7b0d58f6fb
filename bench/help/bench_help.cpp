// Times the help file parser on files of 3,000, 30,000 and 300,000 topics (the last near the
// size cap), each tenth topic linking to another; the time should grow about tenfold per row.
//
//   bench_help [runs]    (default 7)

#include "benchfigures.h"
#include "help/format/helpfile.h"

#include <cstdio>
#include <ctime>

namespace {

/// Processor time of this thread in milliseconds: other programs on the machine add
/// nothing to it, as they do to wall-clock time.
double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

QByteArray helpText(int topics)
{
    QByteArray out;
    out.reserve(topics * 12);
    for (int i = 0; i < topics; ++i) {
        out += "= T" + QByteArray::number(i) + '\n';
        if (i % 10 == 0)
            out += "[[t" + QByteArray::number(qint64(i) * 7919 % topics) + "]]\n";
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 7;
    double previous = 0;
    for (const int topics : {3000, 30000, 300000}) {
        const QByteArray text = helpText(topics);
        QList<double> ms;
        for (int run = 0; run < runs; ++run) {
            const double start = cpuMs();
            const HelpParseResult r = parseHelpText(text);
            ms << cpuMs() - start;
            if (!r.ok || r.file.topics.size() != topics) {
                std::fprintf(stderr, "bench_help: %d topics did not parse: %s\n", topics,
                             qPrintable(r.error));
                return 1;
            }
        }
        const Stats s = stats(ms);
        std::printf("parse %6d topics (%4lld kB): median %8.2f ms  p95 %8.2f ms of CPU", topics,
                    qint64(text.size() / 1024), s.median, s.p95);
        if (previous > 0)
            std::printf("  (x%.1f the row above)", s.median / previous);
        std::printf("\n");
        previous = s.median;
    }
    return 0;
}
