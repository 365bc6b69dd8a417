#include "quality/ControlChart.h"
#include "quality/TrendQuery.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

Q_DECLARE_METATYPE(std::vector<double>)
Q_DECLARE_METATYPE(std::vector<int>)
Q_DECLARE_METATYPE(ChartRule)

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

double rounded(std::optional<double> v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(v.value_or(NAN) * scale) / scale;
}

std::vector<double> repeated(std::initializer_list<double> pattern, int times) {
    std::vector<double> out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), pattern);
    return out;
}

std::vector<double> joined(std::initializer_list<std::vector<double>> parts) {
    std::vector<double> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

StoredTest tvTest(const char* number, const char* date, double formation, const char* tv) {
    StoredTest t;
    t.values = QStringList(fieldNames(TestKind::Tv).size());
    t.setValue(u("测试编号"), u(number));
    t.setValue(u("化成电压"), QString::number(formation));
    t.setValue(u("TV值"), u(tv));
    t.setValue(u("测试人"), u("张三"));
    t.setValue(u("测试日期"), u(date));
    t.curve = {{1.0, 0.1}};
    return t;
}

} // namespace

class TestControlChart : public QObject {
    Q_OBJECT

private slots:
    // NIST/SEMATECH e-Handbook of Statistical Methods, 6.3.2.2 "Individuals Control Charts":
    // flow rate of the first 10 batches of a new process, published with Xbar = 50.81,
    // MRbar = 1.8778, UCL = 55.8041, LCL = 45.8159, and the process in control.
    void handbookExample() {
        const ControlChart chart({49.6, 47.6, 49.9, 51.3, 47.8, 51.2, 52.6, 52.4, 53.6, 52.1});
        QCOMPARE(rounded(chart.mean(), 2), 50.81);
        QCOMPARE(rounded(chart.averageMovingRange(), 4), 1.8778);
        QCOMPARE(rounded(chart.upperLimit(), 4), 55.8041);
        QCOMPARE(rounded(chart.lowerLimit(), 4), 45.8159);
        QCOMPARE(rounded(chart.movingRanges()[3], 1), 3.5);
        QVERIFY(chart.breaks().empty());
        // Against an upper limit of 56: sigma 1.6647 within, sample deviation 2.0339.
        const Capability cap = chart.capability({std::nullopt, 56.0});
        QCOMPARE(cap.count, 10);
        QCOMPARE(rounded(cap.cpk, 3), 1.039);
        QCOMPARE(rounded(cap.ppk, 3), 0.851);
        QVERIFY(cap.inControl && cap.message.isEmpty());

        const ControlChart single({5.0});
        QVERIFY(!single.hasLimits() && single.breaks().empty() && !single.message().isEmpty());
        QVERIFY(!single.capability({1.0, 9.0}).cpk);
    }

    // The same ten batches as the baseline, then four later ones drifting up. Against the
    // baseline's fixed limits (CL 50.81, UCL 55.8041, 2 sigma at 50.81 + 2 * 1.6647 = 54.139)
    // 56.2 is beyond the limit, 54.5 and 56.2 are 2 of 3 beyond 2 sigma, and batches 5..13 are
    // nine above 50.81. The whole series charted together (mean 51.807, MR̄ 1.8231,
    // UCL 56.656) breaks nothing: its limits have followed the drift.
    void baselineLimits() {
        const std::vector<double> values{49.6, 47.6, 49.9, 51.3, 47.8, 51.2, 52.6,
                                          52.4, 53.6, 52.1, 53.0, 54.5, 56.2, 53.5};
        QVERIFY(ControlChart(values).breaks().empty());

        const ControlChart chart(values, IndexRange{0, 10});
        QCOMPARE(rounded(chart.mean(), 2), 50.81);
        QCOMPARE(rounded(chart.upperLimit(), 4), 55.8041);
        QCOMPARE(rounded(chart.movingRangeLimit(), 3), 6.135); // 3.267 * 16.9 / 9
        QCOMPARE(chart.breaks().size(), std::size_t(3));
        QCOMPARE(chart.breaks()[0].points, std::vector<int>{12});
        QCOMPARE(chart.breaks()[1].points, (std::vector<int>{5, 6, 7, 8, 9, 10, 11, 12, 13}));
        QCOMPARE(chart.breaks()[2].points, (std::vector<int>{11, 12}));

        // Cpk from the baseline (as in handbookExample), flagged; Ppk from every point.
        const Capability cap = chart.capability({std::nullopt, 56.0});
        QCOMPARE(rounded(cap.cpk, 3), 1.039);
        QVERIFY(cap.ppk && !cap.inControl);
        QCOMPARE(cap.message, u("过程不受控，Cpk 仅供参考"));

        // A baseline of one point, or cut to one by the end of the series, has no limits.
        for (const IndexRange one : {IndexRange{4, 1}, IndexRange{13, 5}}) {
            const ControlChart cut(values, one);
            QVERIFY(!cut.hasLimits() && cut.breaks().empty());
            QVERIFY(cut.message().contains(u("基准只有1个")));
        }
    }

    // Each series breaks one rule, at the points built to break it, and no other.
    void rules_data() {
        QTest::addColumn<std::vector<double>>("values");
        QTest::addColumn<ChartRule>("rule");
        QTest::addColumn<std::vector<int>>("points");
        const auto calm = repeated({10, 12}, 6); // mean 11, MR̄ 2
        QTest::newRow("beyond") << joined({calm, {30}, calm, {-8}, calm}) << ChartRule::BeyondLimit
                                << std::vector<int>{12, 25};
        QTest::newRow("nine") << joined({repeated({12, 10}, 5), repeated({11.5, 12}, 5),
                                         repeated({10, 12}, 5)})
                              << ChartRule::NineOnOneSide
                              << std::vector<int>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
        QTest::newRow("six") << joined({calm, {10, 10.4, 10.8, 11.2, 11.6, 12}, {10}, calm})
                             << ChartRule::SixTrending << std::vector<int>{12, 13, 14, 15, 16, 17};
        QTest::newRow("two of three")
            << joined({calm, {15.4, 15.4}, calm, {6.6, 6.6}, calm})
            << ChartRule::TwoOfThreeBeyondTwoSigma << std::vector<int>{12, 13, 26, 27};
    }
    void rules() {
        QFETCH(std::vector<double>, values);
        QFETCH(ChartRule, rule);
        QFETCH(std::vector<int>, points);
        const ControlChart chart(values);
        QCOMPARE(chart.breaks().size(), std::size_t(1));
        QCOMPARE(chart.breaks()[0].rule, rule);
        QCOMPARE(chart.breaks()[0].points, points);
        QVERIFY(chart.isBreaking(points.back()) && !chart.isBreaking(0));
    }

    // Tests saved as the program saves them, read back for a month and one formation voltage;
    // then the same through the command line.
    void trendOfSavedTests() {
        QTemporaryDir dir;
        ResultStore store(dir.path());
        for (const StoredTest& t :
             {tvTest("A1HL", "2024/03/01", 200, "210"), tvTest("A2HL", "2024/03/05", 200, "215"),
              tvTest("A3HL", "2024/03/09", 250, "260"), tvTest("A4HL", "2024/02/29", 200, "150"),
              tvTest("A5HL", "2024/03/10", 200, ""), tvTest("A6HL", "2024/03/31", 200, "205")})
            QVERIFY(store.save(t).ok);
        TrendRequest request{TestKind::Tv, u("TV值"), "2024/03/01", "2024/03/31", {}};
        TrendData all = TrendQuery(store).run(request);
        QCOMPARE(all.points.size(), std::size_t(4));
        QVERIFY(!all.limits.any() && all.limitsNote.contains(u("化成电压")));

        request.filters = {{TestKind::Tv, u("化成电压"), "=", "200", {}}};
        const TrendData data = TrendQuery(store).run(request);
        QStringList numbers;
        for (const TrendPoint& p : data.points)
            numbers << p.testNumber;
        QCOMPARE(numbers, (QStringList{"A1HL", "A2HL", "A6HL"}));
        QCOMPARE(data.values(), (std::vector<double>{210, 215, 205}));
        QCOMPARE(data.limits.lower, std::optional<double>(200));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(store.locateDbFile(TestKind::Tv));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql LIKE "
                           "'%测试日期%'") &&
                    q.next());
            QCOMPARE(q.value(0).toInt(), 1);
        }
        QSqlDatabase::removeDatabase("check");

        QProcess tool;
        const auto run = [&](QStringList args) {
            tool.start(Q7RK_RESULTS_TOOL, QStringList{"trend", "--workdir", dir.path()} + args);
            return tool.waitForFinished(30000) ? tool.exitCode() : -1;
        };
        const QString png = dir.filePath("trend.png");
        QCOMPARE(run({"--kind", "tv", "--field", u("TV值"), "--from", "2024-3-1", "--to",
                      "2024/03/31", "--where", u("化成电压 = 200"), "--png", png}),
                 0);
        const QJsonObject doc = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
        QCOMPARE(doc["points"].toArray()[2].toObject()["number"].toString(), QString("A6HL"));
        QCOMPARE(doc["mean"].toDouble(), 210.0);
        QCOMPARE(doc["capability"].toObject()["lowerSpec"].toDouble(), 200.0);
        QCOMPARE(doc["capability"].toObject()["count"].toInt(), 3);
        QVERIFY(doc["capability"].toObject()["inControl"].toBool());
        QCOMPARE(QImage(png).size(), QSize(1200, 800));

        QCOMPARE(run({"--kind", "tv", "--field", u("测试人")}), 2);
        QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains(u("TV值")));
        QCOMPARE(run({"--kind", "tv", "--field", u("TV值"), "--from", "2024/02/30"}), 2);
    }
};

QTEST_GUILESS_MAIN(TestControlChart)
#include "tst_controlchart.moc"
