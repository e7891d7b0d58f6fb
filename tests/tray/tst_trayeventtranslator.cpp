// Tray host activations to icon event codes, for both kinds of tray host.

#include "platform/notifyevents.h"
#include "platform/qt/trayeventtranslator.h"

#include <QtTest>

using A = TrayEventTranslator::Activation;
using H = TrayEventTranslator::Host;
Q_DECLARE_METATYPE(A)
Q_DECLARE_METATYPE(H)

class TstTrayEventTranslator : public QObject
{
    Q_OBJECT
private slots:
    void sequences_data()
    {
        QTest::addColumn<H>("host");
        QTest::addColumn<QList<A>>("activations");
        QTest::addColumn<QList<int>>("times");
        QTest::addColumn<QList<int>>("codes");

        QTest::newRow("xembed click")
            << H::XEmbed << QList<A>{A::Trigger} << QList<int>{0} << QList<int>{514};
        QTest::newRow("xembed double-click: trigger then double-click")
            << H::XEmbed << QList<A>{A::Trigger, A::DoubleClick} << QList<int>{0, 100}
            << QList<int>{514, 515};
        QTest::newRow("xembed two quick triggers stay clicks")
            << H::XEmbed << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 100}
            << QList<int>{514, 514};
        QTest::newRow("xembed right click")
            << H::XEmbed << QList<A>{A::Context} << QList<int>{0} << QList<int>{517};
        QTest::newRow("middle button does nothing known")
            << H::XEmbed << QList<A>{A::Middle} << QList<int>{0} << QList<int>{520};
        QTest::newRow("sni two triggers within the interval")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 300}
            << QList<int>{514, 515};
        QTest::newRow("sni two triggers too far apart")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 401}
            << QList<int>{514, 514};
        QTest::newRow("sni three quick triggers: double-click then a new click")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger, A::Trigger}
            << QList<int>{0, 100, 200} << QList<int>{514, 515, 514};
    }

    void sequences()
    {
        QFETCH(H, host);
        QFETCH(QList<A>, activations);
        QFETCH(QList<int>, times);
        QFETCH(QList<int>, codes);
        TrayEventTranslator t(host, 400);
        QList<int> got;
        for (int i = 0; i < activations.size(); ++i)
            got << t.translate(activations[i], 1000 + times[i]);
        QCOMPARE(got, codes);
    }
};

QTEST_GUILESS_MAIN(TstTrayEventTranslator)
#include "tst_trayeventtranslator.moc"
