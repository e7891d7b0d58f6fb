// The fuzz target's committed corpus, replayed through its checks without the fuzzer.

#include "inidocumentcheck.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TstIniCorpus : public QObject
{
    Q_OBJECT
private slots:
    void corpusHolds_data();
    void corpusHolds();
};

void TstIniCorpus::corpusHolds_data()
{
    QTest::addColumn<QString>("file");
    const QDir corpus(QStringLiteral(DUDUD_FUZZ_CORPUS_DIR));
    const QStringList names = corpus.entryList(QDir::Files);
    if (names.isEmpty())
        qFatal("no corpus in %s", qPrintable(corpus.path()));
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TstIniCorpus::corpusHolds()
{
    QFETCH(QString, file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString broken = inicheck::checkIniDocument(f.readAll());
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TstIniCorpus)
#include "tst_inicorpus.moc"
