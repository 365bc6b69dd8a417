#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

namespace {

QString fileText(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void keysIgnoreCaseAndKeepTheirFirstSpelling() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        {
            SettingsStore s(path);
            s.write("canshu", "Option1(0)", "True");
            s.write("CANSHU", "option1(0)", "False"); // same key, same section
            s.write("canshu", "hcdy(0)", "350");
            QCOMPARE(s.read("Canshu", "OPTION1(0)"), QString("False"));
        }
        SettingsStore reread(path);
        QCOMPARE(reread.read("canshu", "option1(0)"), QString("False"));
        QCOMPARE(reread.read("canshu", "HCDY(0)"), QString("350"));
        QVERIFY(fileText(path).contains("Option1(0)=False"));
        QCOMPARE(fileText(path).count("ption1(0)"), 1);
        QVERIFY(reread.read("topic", "hcdy(0)").isEmpty()); // sections are separate
    }

    void chineseKeysAndAwkwardValuesRoundTripReadably() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        const QString awkward = QString::fromUtf8("张三 = \\ 李四\n第二行");
        {
            SettingsStore s(path);
            s.write("canshu", QString::fromUtf8("存储运行标志"), "7");
            s.write("topic", "LBUSER(0)", awkward);
            s.write("topic", "DJYUSER(1)", " ");
        }
        // Readable UTF-8 on disk, one value per line.
        const QString text = fileText(path);
        QVERIFY(text.contains(QString::fromUtf8("存储运行标志=7\n")));
        QVERIFY(text.contains("[topic]"));
        SettingsStore reread(path);
        QCOMPARE(reread.read("canshu", QString::fromUtf8("存储运行标志")), QString("7"));
        QCOMPARE(reread.read("topic", "lbuser(0)"), awkward);
        QCOMPARE(reread.read("topic", "DJYUSER(1)"), QString(" "));
    }

    void damagedFileReadsAsInitialValues() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        writeFile(path, "garbage without section\n"
                        "[canshu]\n"
                        "=no key\n"
                        "no equals sign\n"
                        "hcdy(0)=abc\n"
                        "KV(1)=\n"
                        "Vadjust(2)= 1.5 \n"
                        "option5(0)=maybe\n"
                        "option8(1)=false\n"
                        "\xff\xfe broken utf8=1\n"
                        "[topic\n");
        SettingsStore s(path);
        QCOMPARE(s.readNumber("canshu", "hcdy(0)"), 200.0); // not a number -> initial
        QCOMPARE(s.readNumber("canshu", "kv(1)"), 1.0);     // empty -> initial
        QCOMPARE(s.readNumber("canshu", "Vadjust(2)"), 1.5);
        QCOMPARE(s.readNumber("canshu", "ldlzb(4)"), 0.05); // absent -> initial
        QCOMPARE(s.readNumber("canshu", "unknown", 42), 42.0);
        QCOMPARE(s.readBool("canshu", "option5(0)"), true);
        QCOMPARE(s.readBool("canshu", "option8(1)"), false);
        QVERIFY(s.read("canshu", "no equals sign").isEmpty());

        SettingsStore missing(dir.filePath("nothing/here.ini"));
        QVERIFY(missing.read("canshu", "hcdy(0)").isEmpty());
        QCOMPARE(missing.readNumber("canshu", "hxfd16"), 1.0);
    }

    void initialValuesFillOnlyWhatIsMissing() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        SettingsStore s(path);
        s.write("canshu", "HCDY(3)", "640");
        const int added = s.writeInitialValues();
        QVERIFY(added > 150);
        QCOMPARE(s.writeInitialValues(), 0);
        QCOMPARE(s.read("canshu", "hcdy(3)"), QString("640"));
        QCOMPARE(s.read("canshu", "hcdy(5)"), QString("200"));
        QCOMPARE(s.read("canshu", "option9(1)"), QString("False"));
        QVERIFY(!s.contains("canshu", "option9(2)")); // options have two groups only
        QCOMPARE(s.read("canshu", "Currency_C(4)"), QString("16711680"));
        QVERIFY(s.contains("topic", "COMPANY"));
        QVERIFY(s.contains("canshu", QString::fromUtf8("存储运行标志")));
        // Written once, in one piece.
        QVERIFY(fileText(path).contains("djyshxz(5)=3.1"));
        QCOMPARE(initialValue("canshu", "THL(2)"), QString("180"));
        QVERIFY(initialValue("canshu", "thl(6)").isNull());
        QVERIFY(initialValue("topic", "thl(0)").isNull());
    }

    void aFailedSaveKeepsValuesAndSaysSo() {
        QTemporaryDir dir;
        writeFile(dir.filePath("blocker"), "a file where a folder should be");
        SettingsStore s(dir.filePath("blocker/s.ini"));
        s.write("canshu", "comport", "3");
        QVERIFY(s.lastSaveFailed());
        QVERIFY(!s.errorString().isEmpty());
        QCOMPARE(s.read("canshu", "comport"), QString("3"));
    }

    void batchSavesOnce() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        SettingsStore s(path);
        {
            SettingsStore::Batch batch(s);
            s.write("canshu", "KV(0)", "1.1");
            QVERIFY(!QFile::exists(path));
        }
        QVERIFY(fileText(path).contains("KV(0)=1.1"));
    }

    void numbersAsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "200" << true << 200.0;
        QTest::newRow("point") << "0.05" << true << 0.05;
        QTest::newRow("blanks") << "  12.5 " << true << 12.5;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("leading point") << ".5" << true << 0.5;
        QTest::newRow("negative") << "-0.1" << true << -0.1;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("one blank") << " " << false << 0.0;
        QTest::newRow("letters") << "12a" << false << 0.0;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("inf") << "inf" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
    }
    void numbersAsText() {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const auto v = parseNumber(text);
        QCOMPARE(v.has_value(), isNumber);
        if (isNumber) QCOMPARE(*v, value);
    }

    void numbersWrittenAsPlainDecimals() {
        QCOMPARE(formatSingle(1.0f), QString("1"));
        QCOMPARE(formatSingle(0.03125f), QString("0.03125"));
        QCOMPARE(formatSingle(0.1f), QString("0.1"));
        QCOMPARE(formatSingle(32.0f), QString("32"));
        QCOMPARE(formatSingle(1.0123456f), QString("1.012346"));
        QCOMPARE(formatNumber(16711680), QString("16711680"));
        QCOMPARE(formatNumber(-0.0), QString("0"));
        QCOMPARE(formatNumber(123456.5), QString("123456.5"));
        QCOMPARE(formatBool(true), QString("True"));
        QCOMPARE(parseBool("TRUE"), std::optional<bool>(true));
        QCOMPARE(parseBool("-1"), std::optional<bool>(true));
        QCOMPARE(parseBool("x"), std::optional<bool>());
    }

    void timingShrinksEveryInterval() {
        const Timing t = Timing{}.scaled(20);
        QCOMPARE(t.pollMs, 13);
        QCOMPARE(t.tickMs, 50);
        QCOMPARE(t.replyTimeoutMs, 25);
        QCOMPARE(t.resultGapMs, 25);
        QCOMPARE(t.searchPauseMs, 10);
        QCOMPARE(Timing{}.scaled(10000).pollMs, 1);
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
