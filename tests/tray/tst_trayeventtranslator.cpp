// Tray host activations to what the user did, for both kinds of tray host.

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
        QTest::addColumn<QStringList>("codes");

        QTest::newRow("xembed click")
            << H::XEmbed << QList<A>{A::Trigger} << QList<int>{0} << QStringList{"click"};
        QTest::newRow("xembed double-click: trigger then double-click")
            << H::XEmbed << QList<A>{A::Trigger, A::DoubleClick} << QList<int>{0, 100}
            << QStringList{"click", "double"};
        QTest::newRow("xembed two quick triggers stay clicks")
            << H::XEmbed << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 100}
            << QStringList{"click", "click"};
        QTest::newRow("xembed right click")
            << H::XEmbed << QList<A>{A::Context} << QList<int>{0} << QStringList{"menu"};
        QTest::newRow("middle button means nothing")
            << H::XEmbed << QList<A>{A::Middle} << QList<int>{0} << QStringList{"-"};
        QTest::newRow("sni two triggers within the interval")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 300}
            << QStringList{"click", "double"};
        QTest::newRow("sni two triggers too far apart")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger} << QList<int>{0, 401}
            << QStringList{"click", "click"};
        QTest::newRow("sni three quick triggers: double-click then a new click")
            << H::StatusNotifier << QList<A>{A::Trigger, A::Trigger, A::Trigger}
            << QList<int>{0, 100, 200} << QStringList{"click", "double", "click"};
    }

    void sequences()
    {
        QFETCH(H, host);
        QFETCH(QList<A>, activations);
        QFETCH(QList<int>, times);
        QFETCH(QStringList, codes);
        TrayEventTranslator t(host, 400);
        QStringList got;
        for (int i = 0; i < activations.size(); ++i) {
            const auto what = t.translate(activations[i], 1000 + times[i]);
            using T = platform::TrayActivation;
            got << (!what                   ? "-"
                    : *what == T::Click       ? "click"
                    : *what == T::DoubleClick ? "double"
                                              : "menu");
        }
        QCOMPARE(got, codes);
    }
};

QTEST_GUILESS_MAIN(TstTrayEventTranslator)
#include "tst_trayeventtranslator.moc"
