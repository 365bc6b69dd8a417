#include "settings/NumberText.h"
#include "settings/RegistryImport.h"
#include "settings/SampleStore.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/WorkingFolder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

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
    // Keys ignore case and keep their first spelling; Chinese keys and values with blanks,
    // '=', '\\' and line breaks come back as written and stay readable UTF-8 on disk.
    void keysAndValuesRoundTripReadably() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        const QString awkward = QString::fromUtf8("张三 = \\ 李四\n第二行");
        {
            SettingsStore s(path);
            s.write("canshu", "Option1(0)", "True");
            s.write("CANSHU", "option1(0)", "False"); // same key, same section
            s.write("canshu", "hcdy(0)", "350");
            QCOMPARE(s.read("Canshu", "OPTION1(0)"), QString("False"));
            s.write("canshu", QString::fromUtf8("存储运行标志"), "7");
            s.write("topic", "LBUSER(0)", awkward);
        }
        SettingsStore reread(path);
        QCOMPARE(reread.read("canshu", "option1(0)"), QString("False"));
        QVERIFY(reread.read("topic", "hcdy(0)").isEmpty()); // sections are separate
        QCOMPARE(reread.read("canshu", QString::fromUtf8("存储运行标志")), QString("7"));
        QCOMPARE(reread.read("topic", "lbuser(0)"), awkward);
        const QString text = fileText(path);
        QCOMPARE(text.count("ption1(0)"), 1);
        QVERIFY(text.contains("Option1(0)=False") && text.contains("存储运行标志=7\n"));
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
        QCOMPARE(s.readNumber("canshu", "unknown", 42), 42.0);
        QCOMPARE(s.readBool("canshu", "option5(0)"), true);
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
        QVERIFY(!s.contains("canshu", "option9(2)"));       // options have two groups only
        QVERIFY(fileText(path).contains("djyshxz(5)=3.1")); // written once, in one piece
        QVERIFY(initialValue("canshu", "thl(6)").isNull());
    }

    void batchSavesOnceAndAFailedSaveKeepsValuesAndSaysSo() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ini");
        SettingsStore s(path);
        {
            SettingsStore::Batch batch(s);
            s.write("canshu", "KV(0)", "1.1");
            QVERIFY(!QFile::exists(path));
        }
        QVERIFY(fileText(path).contains("KV(0)=1.1"));

        writeFile(dir.filePath("blocker"), "a file where a folder should be");
        SettingsStore blocked(dir.filePath("blocker/s.ini"));
        blocked.write("canshu", "comport", "3");
        QVERIFY(blocked.lastSaveFailed());
        QVERIFY(!blocked.errorString().isEmpty());
        QCOMPARE(blocked.read("canshu", "comport"), QString("3"));
    }

    // The range of any run of samples is that of its samples, also after one is overwritten;
    // a sample that is not a number opens its range to everything; clearing empties it.
    void sampleRanges() {
        constexpr float Infinity = std::numeric_limits<float>::infinity();
        SampleStore store(700);
        for (int n = 0; n <= 700; ++n)
            store.set(2, n, float(n * 37 % 101), float(-n));
        store.set(2, 300, 500, -300);
        QCOMPARE(store.voltageRange(2, 290, 310).high, 500.0f);
        store.set(2, 300, 5, -300);
        store.set(2, 64, std::nanf(""), -64);
        const auto samples = [&](int first, int last) {
            std::pair range(Infinity, -Infinity);
            for (int n = first; n <= last; ++n) {
                const float v = store.voltage(2, n);
                range.first = std::isnan(v) ? -Infinity : std::min(range.first, v);
                range.second = std::isnan(v) ? Infinity : std::max(range.second, v);
                if (std::isnan(v)) break;
            }
            return range;
        };
        for (int first = 0; first <= 700; first += 13) {
            for (int last = first; last <= 700; last += 29) {
                const SampleStore::Range r = store.voltageRange(2, first, last);
                QCOMPARE(std::pair(r.low, r.high), samples(first, last));
            }
        }
        QCOMPARE(store.currentRange(2, 10, 600).low, -600.0f);
        store.clear(2);
        QCOMPARE(store.voltageRange(2, 0, 700).high, 0.0f);
    }

    void numbersAsText() {
        const QList<std::pair<const char*, std::optional<double>>> cases{
            {"  12.5 ", 12.5},     {"1e3", 1000.0},       {"-0.1", -0.1},       {" ", std::nullopt},
            {"12a", std::nullopt}, {"1,5", std::nullopt}, {"nan", std::nullopt}};
        for (const auto& [text, value] : cases)
            QVERIFY2(parseNumber(QString::fromLatin1(text)) == value, text);

        QCOMPARE(formatSingle(0.1f), QString("0.1"));
        QCOMPARE(formatSingle(1.0123456f), QString("1.012346"));
        QCOMPARE(formatNumber(-0.0), QString("0"));
        QCOMPARE(formatFixedSingle(2.675f, 2), QString("2.68")); // the single's digits
        QCOMPARE(formatOptionalDecimal(199.96, 1), QString("200"));
        QCOMPARE(parseBool("-1"), std::optional<bool>(true));
        QCOMPARE(parseBool("x"), std::optional<bool>());
    }

    // Installed programs (in a bin) share the data folder unless told a folder; a build tree
    // stays where it was started. The first start takes copies of the earlier files along,
    // and never again once the data folder holds one of them.
    void workingFolderChoiceAndFirstStartCopies() {
        using namespace workingFolder;
        QVERIFY(runsInstalled("/usr/bin") && runsInstalled("/opt/q7rk/bin/"));
        QVERIFY(!runsInstalled("/work/q7rk/build/release/src/app") && !runsInstalled("/usr/lib"));
        QCOMPARE(choose("", true, "/data"), QString("/data"));
        QCOMPARE(choose("", false, "/data"), QString());
        QCOMPARE(choose("here", true, "/data"), QString("here"));

        QTemporaryDir home, data;
        writeFile(home.filePath("lb53A100.db"), "tv");
        writeFile(home.filePath("other.db"), "x");
        const QStringList names{"lb53A100.db", "plant-queue.db"};
        const QString folder = data.filePath("new/folder");
        QCOMPARE(enter(folder), QString());
        QCOMPARE(QDir::currentPath(), QDir(folder).canonicalPath());
        QStringList errors;
        QCOMPARE(adoptEarlierFiles(home.path(), folder, names, &errors),
                 QStringList{"lb53A100.db"});
        QVERIFY(errors.isEmpty() && QFile::exists(home.filePath("lb53A100.db")));
        QVERIFY(!QFile::exists("other.db"));
        writeFile(home.filePath("plant-queue.db"), "q");
        QCOMPARE(adoptEarlierFiles(home.path(), folder, names, &errors), QStringList());
        QVERIFY(enter(home.filePath("lb53A100.db")).contains("无法"));
    }

    // The old program's registry export, in both of its encodings: its own application's
    // canshu and topic come through (a Chinese key, escaped quote and backslash), another
    // application's keys do not; a decimal comma is read; a file of another kind is told.
    void oldSettingsAreImported() {
        const QString fixtures = QStringLiteral(Q7RK_OLD_PROGRAM_FIXTURES);
        if (!QFileInfo::exists(fixtures)) QSKIP("../shared/fixtures/old-program is absent");
        QTemporaryDir dir;
        for (const char* name : {"sample-5.00.reg", "sample-regedit4.reg"}) {
            QFile file(fixtures + "/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const q7rk::RegistryExport exported = q7rk::readRegistryExport(file.readAll());
            QVERIFY2(exported.error.isEmpty(), qPrintable(exported.error));
            q7rk::SettingsStore store(dir.filePath(name));
            const auto done =
                q7rk::importSettings(exported, "Q-7RK-M-2011060705ERP-1.15", store, false);
            QCOMPARE(done.written, 7);
            QVERIFY(done.unknownKeys.isEmpty());
            q7rk::SettingsStore reread(dir.filePath(name));
            QCOMPARE(reread.read("topic", "company"),
                     QString::fromUtf8("某某电子有限公司 \"二厂\" C:\\data"));
            QCOMPARE(reread.read("topic", "LBUSER(0)"), QString::fromUtf8("张三"));
            QCOMPARE(reread.read("canshu", "存储运行标志"), QString("0"));
            QCOMPARE(reread.read("canshu", "Vadjust(0)"), QString("1.002"));
            QVERIFY(!reread.contains("Startup", "Top"));
        }
        const QByteArray european = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\VB and VBA "
                                    "Program Settings\\A\\canshu]\r\n\"Vadjust(1)\"=\"1,25\"\r\n"
                                    "\"Mine\"=\"2,5\"\r\n\"n\"=dword:00000001\r\n";
        q7rk::SettingsStore store(dir.filePath("eu.ini"));
        const auto done =
            q7rk::importSettings(q7rk::readRegistryExport(european), "A", store, false);
        QCOMPARE(store.read("canshu", "Vadjust(1)"), QString("1.25"));
        QCOMPARE(store.read("canshu", "Mine"), QString("2,5")); // not one of ours: as it was
        QCOMPARE(done.unknownKeys, QStringList{"canshu/Mine"});
        QVERIFY(!q7rk::readRegistryExport("PK\x03\x04").error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
