#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "reports/StoredTestDisplay.h"
#include "results/PanelRecord.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <functional>

using namespace q7rk;

namespace {

using Boxes = QList<QPair<Box, QString>>;

// The parts the main window holds, on real result files in a temporary folder.
struct Rig {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("s.ini"))};
    ChannelModel channels;
    PanelModel panel{channels, settings};
    ChartSet charts{channels, panel, settings};
    SampleStore samples;
    CurvePlotter plotter{charts, channels, panel, samples, settings};
    ResultStore store{dir.path()};
    ScriptedPrompter prompter;
    StoredTestDisplay display{panel, channels, charts, plotter, samples, store, prompter};

    Rig() {
        panel.resetToDesign();
        charts.frameAll();
    }

    // A finished test in channel k as a run leaves it, saved, then the channel cleared.
    void save(int k, TestKind kind, const Boxes& boxes, int n, std::function<double(int)> volts) {
        panel.applyKind(k, kind);
        for (const auto& [box, text] : boxes)
            panel.setText(k, box, text);
        for (int i = 1; i <= n; ++i)
            samples.set(k, i, float(volts(i)), float(i * 0.01));
        channels.sampleIndex = qint16(n + 1);
        QVERIFY(store.save(recordOfChannel(panel, samples, k, n)).ok);
        panel.resetToDesign();
        panel.applyKind(k, TestKind::Tv);
        samples.clear(k);
    }

    void exec(TestKind kind, const QString& sql) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "edit");
        db.setDatabaseName(store.locateDbFile(kind));
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(sql));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("edit");
    }
};

bool hasColourNear(const ChartCanvas& c, QPointF at, const QColor& colour) {
    const QPoint p(ChartCanvas::pixelOf(at.x()), ChartCanvas::pixelOf(at.y()));
    for (int d = 0; d < 9; ++d)
        if (c.image().pixelColor(p + QPoint(d % 3 - 1, d / 3 - 1)) == colour) return true;
    return false;
}

// Whether a label was printed at a place (within half a twip).
bool printedAt(const ChartCanvas& c, const QString& text, QPointF at) {
    return std::any_of(c.printedTexts().begin(), c.printedTexts().end(), [&](const auto& p) {
        return p.text == text && (p.atTwips - at).manhattanLength() < 0.5;
    });
}

// y in TV(k) and in the group chart of a voltage, as the live curves map it.
double channelY(double v, double vref) {
    return (0.9 - v / (1.5 * vref)) * 4000;
}
double groupY(double v, double vref) {
    return (1.0 - v / (1.5 * vref)) * 4000;
}

const QColor Red(Qt::red);

double tvVolts(int i) {
    return i <= 14 ? 15.0 * i : 205.0; // peak 210 V at sample 14
}
double leakageVolts(int i) {
    return std::min(10.0 * i, 100.0);
}
double electrolyteVolts(int i) {
    return i < 8 ? 40.0 * i : (i == 8 ? 250.0 : 300.0); // the spark at sample 8
}

// clang-format off
const Boxes kTv{{Box::Text1, "200"}, {Box::Text3, "2"}, {Box::Text4, "5"}, {Box::Text5, "30"},
    {Box::Text6, "12"}, {Box::Text7, "201.3"}, {Box::Text8, "合格"}, {Box::Text16, "85"},
    {Box::Text39, "210"}, {Box::Text14, "T1"}, {Box::Combo1, "HL"}, {Box::Text15, "张'三"},
    {Box::Text24, "2012/06/01"}};
const Boxes kLeakage{{Box::Text9, "100"}, {Box::Text3, "1"}, {Box::Text10, "0.5"},
    {Box::Text11, "20"}, {Box::Text12, "0.2"}, {Box::Text16, "80"}, {Box::Text13, "合格"},
    {Box::Text14, "L1"}, {Box::Combo1, "TM"}, {Box::Text15, "李四"}, {Box::Text24, "2012/06/02"}};
const Boxes kElectrolyte{{Box::Text17, "5"}, {Box::Text18, "400"}, {Box::Text19, "300"},
    {Box::Text20, "3"}, {Box::Text21, "3"}, {Box::Text22, "300"}, {Box::Text28, "250"},
    {Box::Text29, "250"}, {Box::Text30, "8"}, {Box::Text31, "260"}, {Box::Text32, "9"},
    {Box::Text33, "270"}, {Box::Text34, "10"}, {Box::Text23, "不合格"}, {Box::Text35, "E1"},
    {Box::Combo2, "HR"}, {Box::Text36, "王五"}, {Box::Text37, "2012/06/03"}};
// clang-format on

} // namespace

class TestStoredTestDisplay : public QObject {
    Q_OBJECT
private slots:
    // Three kinds into the slots of "1-3通道", the wrap to channel 1, then "4-6通道".
    void eachKindRestoresItsBoxesAndCurve() {
        Rig rig;
        rig.save(0, TestKind::Tv, kTv, 20, tvVolts);
        rig.save(1, TestKind::Leakage, kLeakage, 25, leakageVolts);
        rig.save(2, TestKind::Electrolyte, kElectrolyte, 15, electrolyteVolts);
        const auto show = [&](TestKind kind, const char* number, int slot, const Boxes& boxes) {
            const DisplayOutcome out =
                rig.display.show({kind, number, slot, DisplayGroup::Channels13});
            QVERIFY(out.channel == slot && out.complete);
            // The number box shows the whole test number; the position list is not written.
            for (const auto& [box, text] : boxes)
                if (box != Box::Combo1 && box != Box::Combo2)
                    QCOMPARE(rig.panel.text(slot, box), box == Box::Text14 || box == Box::Text35
                                                            ? QString::fromUtf8(number)
                                                            : text);
        };
        const auto& p = rig.plotter;
        const auto& group = rig.charts.groupChart(0);

        // TV: n = delay 5 + rise 12; A after the rise time, B at the peak, C after the end.
        show(TestKind::Tv, "T1HL", 0, kTv);
        QCOMPARE(rig.channels.timeScale[0], 1.f / 16);
        QVERIFY(rig.samples.voltage(0, 17) == 205.0f && rig.samples.voltage(0, 18) == 0.0f);
        const ChartCanvas& tv = rig.charts.channelChart(0);
        QVERIFY(hasColourNear(tv, {p.channelX(0, 10), channelY(150, 200)}, Red));
        QVERIFY(hasColourNear(group, {p.groupX(0, 10), groupY(150, 200)}, Red));
        QVERIFY(printedAt(tv, "A点", {p.channelX(0, 13), channelY(180, 200)}));
        QVERIFY(printedAt(tv, "B点", {p.channelX(0, 14), channelY(205, 200) + 100}));
        QVERIFY(printedAt(tv, "C点", {p.channelX(0, 18), channelY(205, 200)}));

        // Leakage: n = test time 20; the whole group switches kind.
        show(TestKind::Leakage, "L1TM", 1, kLeakage);
        QVERIFY(rig.panel.option(Option::LeakageTest, 0) &&
                rig.channels.kind(0) == TestKind::Leakage);
        QCOMPARE(rig.panel.text(1, Box::Text38), QStringLiteral("25"));
        QVERIFY(hasColourNear(group, {p.groupX(1, 5), groupY(50, 100)}, QColor(Qt::green)));
        QVERIFY(
            printedAt(rig.charts.channelChart(1), "C点", {p.channelX(1, 21), channelY(100, 100)}));

        // Electrolyte: n = spark delay 3 + first spark time 8; the spark marked.
        show(TestKind::Electrolyte, "E1HR", 2, kElectrolyte);
        const ChartCanvas& el = rig.charts.channelChart(2);
        QVERIFY(hasColourNear(el, {p.channelX(2, 5), channelY(200, 400)}, Red));
        QVERIFY(printedAt(el, "31A", {p.channelX(2, 8), channelY(250, 400)}));
        QVERIFY(printedAt(el, "C点", {p.channelX(2, 12), channelY(300, 400)}));

        QCOMPARE(rig.display.show({TestKind::Tv, "T1HL", 3, DisplayGroup::Channels13}).channel, 0);
        QCOMPARE(rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels46}).channel, 3);
        QVERIFY(rig.panel.option(Option::TvTest, 1));
        QVERIFY(hasColourNear(rig.charts.groupChart(1), {p.groupX(3, 10), groupY(150, 200)}, Red));
        QCOMPARE(rig.prompter.texts(), QStringList());
    }

    void timeScaleByLength() {
        // Each bound starts the next doubling: 10 s -> 1/16 ... 5120 s -> 32, and no further.
        float scale = 1.f / 32;
        QCOMPARE(displayTimeScale(0), scale);
        for (int bound = 10; bound <= 5120; bound *= 2, scale *= 2) {
            QCOMPARE(displayTimeScale(bound - 1), scale);
            QCOMPARE(displayTimeScale(bound), scale * 2);
        }
        QCOMPARE(displayTimeScale(6000), 32.f);
    }

    void readingErrorsAreReported() {
        Rig rig;
        rig.save(0, TestKind::Tv, kTv, 5, tvVolts); // five samples of a test 17 long
        const auto show = [&](int slot, int drawn, const char* said) {
            const DisplayOutcome out =
                rig.display.show({TestKind::Tv, "T1HL", slot, DisplayGroup::Channels16});
            QCOMPARE(out.drawn, drawn);
            QVERIFY(rig.prompter.texts().last().contains(QString::fromUtf8(said)));
        };
        show(0, 5, "少于测试长度 17 点");
        QCOMPARE(rig.panel.text(0, Box::Text14), QStringLiteral("T1HL")); // as far as it got
        rig.exec(TestKind::Tv,
                 QStringLiteral("UPDATE 曲线数据 SET 电压 = 'abc' WHERE vi_order = 3"));
        show(1, 2, "第 3 点不是数值");
        rig.exec(TestKind::Tv, QStringLiteral("DELETE FROM 曲线数据"));
        show(1, 0, "曲线数据不存在");
        rig.exec(TestKind::Tv, QStringLiteral("UPDATE 铝箔TV参数 SET 延迟时间 = 'x'"));
        show(2, 0, "“延迟时间”不是数值");
        QCOMPARE(rig.panel.text(2, Box::Text4), QStringLiteral("x"));

        // During a run nothing is touched.
        rig.channels.channelStopped[4] = false;
        show(0, 0, "测试正在进行");
        QCOMPARE(rig.panel.text(0, Box::Text4), QStringLiteral("5"));
        QCOMPARE(rig.prompter.texts().size(), 5);
    }
};

QTEST_MAIN(TestStoredTestDisplay)
#include "tst_storedtestdisplay.moc"
