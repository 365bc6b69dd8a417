#include "app/QueryWindow.h"
#include "app/TrendWindow.h"
#include "plant/OdbcSources.h"
#include "plant/PlantSchema.h"
#include "plant/PlantSetup.h"
#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using namespace q7rk;

// The trend window over a real TV file: 20 tests on the last 20 days, 升压时间 swinging
// between 116 and 124 s but for test 12, far above the others, operators taking turns.
class TrendWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ResultStore m_store{m_dir.path()};
    std::vector<double> m_values;

    QString numberOf(int i) const { return QStringLiteral("R%1HL").arg(i + 1); }
    bool store(int i, double riseTime) {
        StoredTest t;
        t.kind = TestKind::Tv;
        t.values = QStringList(fieldNames(TestKind::Tv).size());
        t.setValue(QStringLiteral("测试编号"), numberOf(i));
        t.setValue(QStringLiteral("升压时间"), QString::number(riseTime));
        t.setValue(QStringLiteral("升压时间指标"), QStringLiteral("150"));
        t.setValue(QStringLiteral("测试人"), i % 2 ? QStringLiteral("李四") : "张三");
        t.setValue(QStringLiteral("测试日期"),
                   QDate::currentDate().addDays(i - 19).toString(QStringLiteral("yyyy/MM/dd")));
        t.curve = {{10, 0.1}};
        return m_store.save(t).ok;
    }

private slots:
    void initTestCase() {
        for (int i = 0; i < 20; ++i) {
            m_values.push_back(i == 12 ? 160 : i % 2 ? 124 : 116);
            QVERIFY(store(i, m_values.back()));
        }
    }

    void chartMarksTheOutlierAndLeadsToItsTest() {
        QueryModel model(m_store);
        ScriptedPrompter prompter;
        QueryWindow query(model, prompter);
        TrendWindow trend(m_store, prompter, {});
        connect(&trend, &TrendWindow::testChosen, &query, &QueryWindow::selectTest);
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));

        // The rise time against its limit opens by default, over the last 30 days.
        QVERIFY(trend.chart());
        const ControlChart expected(m_values);
        const Capability cap = expected.capability({std::nullopt, 150.0});
        const QString summary = trend.findChild<QLabel*>("summary")->text();
        QVERIFY2(summary.contains(QStringLiteral("测试数：20")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("Cpk：") + QString::number(*cap.cpk, 'f', 2)),
                 qPrintable(summary));
        QVERIFY(summary.contains(QStringLiteral("Ppk：") + QString::number(*cap.ppk, 'f', 2)));
        QVERIFY(expected.isBreaking(12) && !expected.isBreaking(3));

        // Drawn where the window says: red for the outlier, not for a steady point.
        QWidget* view = trend.findChild<QWidget*>("chart");
        const QImage shown = view->grab().toImage();
        const auto colourAt = [&](int i) {
            return shown.pixelColor(trend.pointCentre(i)->toPoint());
        };
        QVERIFY2(colourAt(12).red() > 180 && colourAt(12).green() < 80,
                 qPrintable(colourAt(12).name()));
        QVERIFY(colourAt(3).red() < 120);

        const QPoint outlier = trend.pointCentre(12)->toPoint();
        QTest::mouseMove(view, outlier);
        QTRY_VERIFY(QToolTip::text().contains(numberOf(12)));
        QVERIFY(QToolTip::text().contains(ruleName(ChartRule::BeyondLimit)));
        QVERIFY(QToolTip::text().contains(QStringLiteral("160")));

        QTest::mouseClick(view, Qt::LeftButton, {}, outlier);
        QVERIFY(query.selectedRecord());
        QCOMPARE(model.testNumberAt(*query.selectedRecord()), numberOf(12));

        // The points go out as CSV with the rule each breaks; a folder that is not there is
        // told by name.
        const QString csv = m_dir.filePath(QStringLiteral("trend.csv"));
        prompter.queueFileName(csv);
        QTest::mouseClick(trend.findChild<QPushButton*>("exportData"), Qt::LeftButton);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QCOMPARE(text.count(QStringLiteral("\r\n")), 21);
        QVERIFY(text.contains(numberOf(12) + QLatin1Char(',')));
        QVERIFY(text.contains(ruleName(ChartRule::BeyondLimit)));
        // With its moving range (160 after 124) and the chart's lines.
        QVERIFY(text.contains(QStringLiteral("升压时间,移动极差,CL,UCL,LCL,MR上限")));
        QVERIFY(text.contains(
            QStringLiteral(",160,36,%1,").arg(QString::number(*trend.chart()->mean(), 'g', 15))));
        const QString nowhere = m_dir.filePath(QStringLiteral("missing/trend.png"));
        prompter.queueFileName(nowhere);
        QTest::mouseClick(trend.findChild<QPushButton*>("exportImage"), Qt::LeftButton);
        QVERIFY(prompter.texts().last().contains(nowhere));

        // Filters narrow the tests; a value the field cannot take is refused and the chart
        // stays; none left gives a note, not an empty chart.
        auto* person = trend.findChild<QLineEdit*>("operator");
        auto* show = trend.findChild<QPushButton*>("show");
        person->setText(QStringLiteral("张三"));
        QTest::mouseClick(show, Qt::LeftButton);
        QCOMPARE(trend.chart()->count(), 10);
        auto* condition = trend.findChild<QComboBox*>("Combo1");
        condition->setCurrentText(QStringLiteral("化成电压"));
        trend.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("abc"));
        QTest::mouseClick(show, Qt::LeftButton);
        QVERIFY(prompter.texts().last().contains(QStringLiteral("无效")));
        QCOMPARE(trend.chart()->count(), 10);
        condition->setCurrentIndex(0);
        person->setText(QStringLiteral("王五"));
        QTest::mouseClick(show, Qt::LeftButton);
        QVERIFY(!trend.chart());
        auto* note = trend.findChild<QLabel*>("note");
        QVERIFY(note->isVisible() && note->text().contains(QStringLiteral("没有符合条件")));
    }

    // The plant's database as the source: every tester's pieces of one grade, read
    // off the window's thread; a click opens the foil. A plant that does not answer is told
    // within its waits.
    void plantSourceChartsPiecesAndOpensTheirFoil() {
        qputenv("ODBCINI", QFile::encodeName(m_dir.filePath("odbc.ini")));
        QTcpServer silent; // takes the connection, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QVERIFY(OdbcSources::writeUserSource("silent",
                                             {{"Driver", OdbcSources::findDriver("psqlodbcw.so")},
                                              {"Servername", "127.0.0.1"},
                                              {"Port", QString::number(silent.serverPort())},
                                              {"Database", "plant"}})
                    .ok());
        const PlantSource plant("result");
        QVERIFY(PlantSetup::initSqlite(m_dir.filePath("plant.db"), "result").ok());
        PlantConnection c(plant, PlantLogin::Own);
        QVERIFY(plantSchema::create(c, 4).ok());
        const QDate today = QDate::currentDate();
        for (int foil = 0; foil < 8; ++foil) {
            const QString serial = QStringLiteral("K%1").arg(foil);
            QVERIFY(c.exec("insert into Whole_Parameter (SerNum, Speci, VF, PLNum, ProDate) "
                           "values (?, ?, 520, 'L1', ?)",
                           {serial, foil < 6 ? "S-9" : "S-1",
                            today.addDays(foil - 8).toString("yyyy/MM/dd")})
                        .ok());
            for (int piece = 1; piece <= 3; ++piece)
                QVERIFY(c.exec("insert into Part_Parameter (SerNum, NumCurve, Tr, Vm, Vt) "
                               "values (?, ?, 80, 600, ?)",
                               {serial, piece, 530.0 + foil + piece})
                            .ok());
        }

        PlantSource source = plant;
        ScriptedPrompter prompter;
        SettingsStore remembered(m_dir.filePath("q7rk.ini"));
        TrendWindow trend(
            m_store, prompter, [&source] { return source; }, &remembered);
        trend.show();
        QVERIFY(QTest::qWaitForWindowExposed(&trend));
        auto* note = trend.findChild<QLabel*>("note");
        trend.findChild<QComboBox*>("source")->setCurrentIndex(1);
        QVERIFY(note->text().contains(QStringLiteral("请填写规格")));
        trend.findChild<QLineEdit*>("spec")->setText(QStringLiteral("S-9"));
        QTest::mouseClick(trend.findChild<QPushButton*>("show"), Qt::LeftButton);
        QTRY_VERIFY(!trend.reading());
        QVERIFY2(trend.chart(), qPrintable(note->text()));
        QCOMPARE(trend.chart()->count(), 18);
        QCOMPARE(trend.pieces().front().serial, QString("K0"));
        QCOMPARE(trend.data().limits.lower, std::optional<double>(520)); // Vt ≥ VF
        QVERIFY(trend.pointText(4).contains(QStringLiteral("卷号：K1　第2片")));
        QSignalSpy opened(&trend, &TrendWindow::foilChosen);
        const QPoint at = trend.pointCentre(4)->toPoint();
        QTest::mouseClick(trend.findChild<QWidget*>("chart"), Qt::LeftButton, {}, at);
        QCOMPARE(opened.value(0).value(0).toString(), QString("K1"));

        // Each foil's three pieces as a subgroup: six foils, their averages and ranges; a
        // click on one opens its foil.
        trend.findChild<QComboBox*>("chartKind")->setCurrentIndex(1);
        QVERIFY(trend.groupChart());
        QCOMPARE(trend.groupChart()->count(), 6);
        QCOMPARE(trend.groupChart()->nominalSize(), 3);
        QCOMPARE(trend.groupChart()->averages()[1], 533.0); // K1: 532, 533, 534
        QVERIFY(trend.pointText(1).contains(QStringLiteral("卷号：K1（水煮前）")));
        QTest::mouseClick(trend.findChild<QWidget*>("chart"), Qt::LeftButton, {},
                          trend.pointCentre(2)->toPoint());
        QCOMPARE(opened.value(1).value(0).toString(), QString("K2"));
        trend.findChild<QComboBox*>("chartKind")->setCurrentIndex(0);
        QVERIFY(!trend.groupChart());

        // The engineer's limits are kept per grade: another one brings its own (here
        // none, so the record's VF), and coming back brings them back.
        auto* spec = trend.findChild<QLineEdit*>("spec");
        auto* lower = trend.findChild<QLineEdit*>("lsl");
        QTest::keyClicks(lower, QStringLiteral("525"));
        const auto chart = [&] {
            QTest::mouseClick(trend.findChild<QPushButton*>("show"), Qt::LeftButton);
        };
        chart();
        QTRY_VERIFY(!trend.reading());
        QCOMPARE(trend.data().limits.lower, std::optional<double>(525));
        spec->setText(QStringLiteral("S-1"));
        chart();
        QTRY_VERIFY(!trend.reading());
        QCOMPARE(trend.data().limits.lower, std::optional<double>(520));
        QVERIFY(lower->text().isEmpty());
        spec->setText(QStringLiteral("S-9"));
        chart();
        QTRY_VERIFY(!trend.reading());
        QCOMPARE(trend.data().limits.lower, std::optional<double>(525));
        QCOMPARE(lower->text(), QStringLiteral("525"));

        source = PlantSource("silent", PlantWaits{1, 1});
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(trend.findChild<QPushButton*>("show"), Qt::LeftButton);
        QVERIFY(trend.reading() && trend.findChild<QPushButton*>("cancelRead")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!trend.reading(), 15000);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(note->isVisible() && note->text().contains(QStringLiteral("无法读取工厂数据库")),
                 qPrintable(note->text()));

        // Opened again, the window shows what it was left at.
        source = plant;
        trend.findChild<QComboBox*>("field")->setCurrentText(QStringLiteral("Tr"));
        QTRY_VERIFY(!trend.reading());
        TrendWindow again(
            m_store, prompter, [&source] { return source; }, &remembered);
        QCOMPARE(again.findChild<QComboBox*>("source")->currentIndex(), 1);
        QCOMPARE(again.findChild<QLineEdit*>("spec")->text(), QStringLiteral("S-9"));
        QCOMPARE(again.findChild<QComboBox*>("field")->currentText(), QStringLiteral("Tr"));
        QTRY_VERIFY(!again.reading());
        QCOMPARE(again.chart()->count(), 18);
    }

    // Limits from a baseline: the first ten days' tests give the centre, every point is
    // judged against it; the window keeps the baseline for what it charts.
    void baselineLimits() {
        ScriptedPrompter prompter;
        SettingsStore remembered(m_dir.filePath("baseline.ini"));
        TrendWindow trend(m_store, prompter, {}, &remembered);
        const QDate today = QDate::currentDate();
        trend.findChild<QDateEdit*>("baselineFrom")->setDate(today.addDays(-19));
        trend.findChild<QDateEdit*>("baselineTo")->setDate(today.addDays(-10));
        trend.findChild<QCheckBox*>("baseline")->setChecked(true);
        trend.refresh();
        QCOMPARE(trend.chart()->baseline()->first, 0);
        QCOMPARE(trend.chart()->baseline()->count, 10);
        QCOMPARE(*trend.chart()->mean(), 120.0); // 116 and 124 in turn
        QVERIFY(trend.findChild<QLabel*>("summary")->text().contains(QStringLiteral("10 个点")));

        TrendWindow again(m_store, prompter, {}, &remembered);
        QVERIFY(again.findChild<QCheckBox*>("baseline")->isChecked());
        QCOMPARE(again.chart()->baseline()->count, 10);
    }

    // A value corrected by hand is drawn hollow and says what was measured; a test deleted
    // and stored again under its number is a new measurement.
    void correctedValuesAreToldApart() {
        QVERIFY(m_store.correct(TestKind::Tv, {numberOf(3)}, QStringLiteral("升压时间"), "120").ok);
        ScriptedPrompter prompter;
        TrendWindow trend(m_store, prompter, {});
        QCOMPARE(trend.data().points[3].measured, std::optional<QString>("124"));
        QVERIFY(!trend.data().points[2].measured);
        QVERIFY(trend.pointText(3).contains(QStringLiteral("原测量值 124")));

        QVERIFY(m_store.remove(TestKind::Tv, {{numberOf(3)}}).ok);
        QVERIFY(store(3, 118));
        trend.refresh();
        QCOMPARE(trend.data().points[3].testNumber, numberOf(3));
        QCOMPARE(trend.data().points[3].value, 118.0);
        QVERIFY(!trend.data().points[3].measured);
    }
};

QTEST_MAIN(TrendWindowTest)
#include "tst_trendwindow.moc"
