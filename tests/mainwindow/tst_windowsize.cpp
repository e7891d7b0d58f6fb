// The main window's size rules without a display: the columns shared out by what their
// texts need, the room they want within a share of the screen, the frame kept on the screen.

#include "mainwindow/rules/windowsize.h"

#include <QtTest>

#include <numeric>

using IntList = QList<int>;

class TstWindowSize : public QObject
{
    Q_OBJECT
private slots:
    void columnWidths_data()
    {
        QTest::addColumn<IntList>("needs");
        QTest::addColumn<int>("room");
        QTest::addColumn<IntList>("widths");
        QTest::newRow("thirds hold every need")
            << IntList{60, 80, 50} << 501 << IntList{167, 167, 167};
        QTest::newRow("thirds stay equal") << IntList{60, 80, 50} << 500 << IntList{166, 166, 166};
        QTest::newRow("a long action: needs first, the rest equally")
            << IntList{300, 80, 50} << 501 << IntList{325, 103, 73};
        QTest::newRow("needs exactly the room")
            << IntList{400, 60, 41} << 501 << IntList{400, 60, 41};
        QTest::newRow("too little room: by their needs")
            << IntList{600, 200, 200} << 500 << IntList{300, 100, 100};
        QTest::newRow("no needs known") << IntList{-1, -1, -1} << 300 << IntList{100, 100, 100};
    }

    void columnWidths()
    {
        QFETCH(IntList, needs);
        QFETCH(int, room);
        QFETCH(IntList, widths);
        const IntList got = mainwindow::columnWidths(needs, room);
        QCOMPARE(got, widths);
        const int sum = std::accumulate(got.cbegin(), got.cend(), 0);
        QVERIFY(sum <= room && sum > room - int(needs.size()));
    }

    void wantedColumnRoom_data()
    {
        QTest::addColumn<IntList>("needs");
        QTest::addColumn<int>("wanted");
        // The design's room is 501, a column's cap 400.
        QTest::newRow("the design is enough") << IntList{100, 100, 100} << 501;
        QTest::newRow("larger texts") << IntList{350, 150, 200} << 700;
        QTest::newRow("an action past the cap") << IntList{900, 150, 200} << 750;
    }

    void wantedColumnRoom()
    {
        QFETCH(IntList, needs);
        QFETCH(int, wanted);
        QCOMPARE(mainwindow::wantedColumnRoom(needs, 501, 400), wanted);
    }

    void placeFrame_data()
    {
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("frame");
        const QRect screen(0, 0, 1280, 768); // a panel of 32 at the bottom
        QTest::newRow("fits: centred in the free area")
            << QSize(524, 510) << screen << QRect(378, 129, 524, 510);
        QTest::newRow("too tall: as tall as the free area")
            << QSize(1038, 990) << screen << QRect(121, 0, 1038, 768);
        QTest::newRow("an odd width: the half of each, as the window layer rounds")
            << QSize(523, 511) << screen << QRect(379, 129, 523, 511);
        QTest::newRow("too wide and tall")
            << QSize(2000, 900) << QRect(0, 0, 640, 384) << QRect(0, 0, 640, 384);
        QTest::newRow("a panel at the top, a second screen")
            << QSize(500, 400) << QRect(1280, 30, 1024, 738) << QRect(1542, 199, 500, 400);
    }

    void placeFrame()
    {
        QFETCH(QSize, wanted);
        QFETCH(QRect, available);
        QFETCH(QRect, frame);
        QCOMPARE(mainwindow::placeFrame(wanted, available), frame);
    }
};

QTEST_APPLESS_MAIN(TstWindowSize)
#include "tst_windowsize.moc"
