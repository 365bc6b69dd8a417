#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "settings/NumberText.h"

#include <QTest>

using namespace q7rk;

class KindsTest : public QObject {
    Q_OBJECT

private slots:
    // The length the evaluation ends a test at, the remaining time counts down to and a
    // stored test is drawn to: each time box in whole seconds (halves to even), a negative
    // or blank box adds nothing.
    void testLength_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("first");  // delay / test time / flash delay
        QTest::addColumn<QString>("second"); // rise time / - / first spark
        QTest::addColumn<int>("length");
        const int tv = int(TestKind::Tv), leakage = int(TestKind::Leakage);
        const int electrolyte = int(TestKind::Electrolyte);
        QTest::newRow("tv halves to even") << tv << "2.5"
                                           << "3.5" << 6;
        QTest::newRow("tv blank rise") << tv << "60"
                                       << "" << 60;
        QTest::newRow("tv negative delay") << tv << "-5"
                                           << "12" << 12;
        QTest::newRow("leakage") << leakage << "30.4"
                                 << "" << 30;
        QTest::newRow("leakage huge") << leakage << "1e300"
                                      << "" << 0;
        QTest::newRow("electrolyte") << electrolyte << "4"
                                     << "17.5" << 22;
    }
    void testLength() {
        QFETCH(int, kind);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, length);
        const auto boxes = description(TestKind(kind)).lengthBoxes;
        const auto number = [&](Box box) {
            const QString text = box == boxes[0]                       ? first
                                 : boxes.size() > 1 && box == boxes[1] ? second
                                                                       : "";
            return parseNumber(text).value_or(0);
        };
        QCOMPARE(q7rk::testLength(TestKind(kind), number), length);
    }
};

QTEST_GUILESS_MAIN(KindsTest)
#include "tst_kinds.moc"
