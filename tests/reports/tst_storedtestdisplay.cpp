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
#include <memory>

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
        QVERIFY(store.save(recordOfChannel(panel, samples, k)));
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

bool hasColourNear(const ChartCanvas& c, double x, double y, const QColor& colour) {
    const int px = ChartCanvas::pixelOf(x);
    const int py = ChartCanvas::pixelOf(y);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (c.image().pixelColor(px + dx, py + dy) == colour) return true;
    return false;
}

// Where a label was printed; NaN when it was not.
QPointF printedAt(const ChartCanvas& c, const QString& text) {
    for (const auto& p : c.printedTexts())
        if (p.text == text) return p.atTwips;
    return {qQNaN(), qQNaN()};
}

bool near(QPointF a, QPointF b) {
    return std::abs(a.x() - b.x()) < 0.5 && std::abs(a.y() - b.y()) < 0.5;
}

// y in TV(k) and in the group chart of a voltage, as the live curves map it.
double channelY(double v, double vref) {
    return (0.9 - v / (1.5 * vref)) * 4000;
}
double groupY(double v, double vref) {
    return (1.0 - v / (1.5 * vref)) * 4000;
}

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);

double tvVolts(int i) {
    return i <= 14 ? 15.0 * i : 205.0; // peak 210 V at sample 14
}
double leakageVolts(int i) {
    return std::min(10.0 * i, 100.0);
}
double electrolyteVolts(int i) {
    return i < 8 ? 40.0 * i : (i == 8 ? 250.0 : 300.0); // the spark at sample 8
}

const Boxes kTv{{Box::Text1, "200"},        {Box::Text3, "2"},   {Box::Text4, "5"},
                {Box::Text5, "30"},         {Box::Text6, "12"},  {Box::Text7, "201.3"},
                {Box::Text8, "合格"},       {Box::Text16, "85"}, {Box::Text39, "210"},
                {Box::Text14, "T1"},        {Box::Combo1, "HL"}, {Box::Text15, "张'三"},
                {Box::Text24, "2012/06/01"}};
const Boxes kLeakage{{Box::Text9, "100"},   {Box::Text3, "1"},          {Box::Text10, "0.5"},
                     {Box::Text11, "20"},   {Box::Text12, "0.2"},       {Box::Text16, "80"},
                     {Box::Text13, "合格"}, {Box::Text14, "L1"},        {Box::Combo1, "TM"},
                     {Box::Text15, "李四"}, {Box::Text24, "2012/06/02"}};
const Boxes kElectrolyte{{Box::Text17, "5"},      {Box::Text18, "400"},       {Box::Text19, "300"},
                         {Box::Text20, "3"},      {Box::Text21, "3"},         {Box::Text22, "300"},
                         {Box::Text28, "250"},    {Box::Text29, "250"},       {Box::Text30, "8"},
                         {Box::Text23, "不合格"}, {Box::Text35, "E1"},        {Box::Combo2, "HR"},
                         {Box::Text36, "王五"},   {Box::Text37, "2012/06/03"}};

} // namespace

class TestStoredTestDisplay : public QObject {
    Q_OBJECT
private slots:
    void eachKindRestoresItsBoxesAndCurve();
    void slotsWrapAndTheSecondGroup();
    void timeScaleByLength();
    void readingErrorsAreReported();
};

void TestStoredTestDisplay::eachKindRestoresItsBoxesAndCurve() {
    Rig rig;
    rig.save(0, TestKind::Tv, kTv, 20, tvVolts);
    rig.save(1, TestKind::Leakage, kLeakage, 25, leakageVolts);
    rig.save(2, TestKind::Electrolyte, kElectrolyte, 15, electrolyteVolts);
    const auto restored = [&](int k, const Boxes& boxes) {
        for (const auto& [box, text] : boxes) {
            if (box == Box::Combo1 || box == Box::Combo2 || box == Box::Text14 ||
                box == Box::Text35)
                continue;
            if (rig.panel.text(k, box) != text) return false;
        }
        return true;
    };

    // TV into channel 1: n = delay 5 + rise 12.
    DisplayOutcome out = rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels13});
    QCOMPARE(out.channel, 0);
    QVERIFY(out.complete);
    QCOMPARE(rig.prompter.texts(), QStringList());
    QVERIFY(rig.panel.option(Option::TvTest, 0));
    QCOMPARE(rig.channels.kind(2), TestKind::Tv);
    QVERIFY(restored(0, kTv));
    QCOMPARE(rig.panel.text(0, Box::Text14), QStringLiteral("T1HL"));
    QCOMPARE(rig.panel.text(0, Box::Text27), QStringLiteral("12"));
    QCOMPARE(rig.samples.voltage(0, 17), 205.0f);
    QCOMPARE(rig.samples.voltage(0, 18), 0.0f); // beyond the test's length
    const ChartCanvas& tv = rig.charts.channelChart(0);
    QVERIFY(hasColourNear(tv, rig.plotter.channelX(0, 10), channelY(150, 200), Red));
    QVERIFY(
        hasColourNear(rig.charts.groupChart(0), rig.plotter.groupX(0, 10), groupY(150, 200), Red));
    // A after the rise time, B at the peak, C after the last sample.
    QVERIFY(near(printedAt(tv, "A点"), {rig.plotter.channelX(0, 13), channelY(180, 200)}));
    QVERIFY(near(printedAt(tv, "B点"), {rig.plotter.channelX(0, 14), channelY(205, 200) + 100}));
    QVERIFY(near(printedAt(tv, "C点"), {rig.plotter.channelX(0, 18), channelY(205, 200)}));
    QVERIFY(!std::isnan(printedAt(rig.charts.groupChart(0), "1C点").x()));

    // Leakage into channel 2: n = test time 20; the whole group switches kind.
    out = rig.display.show({TestKind::Leakage, "L1TM", 1, DisplayGroup::Channels13});
    QCOMPARE(out.channel, 1);
    QVERIFY(out.complete);
    QVERIFY(rig.panel.option(Option::LeakageTest, 0));
    QVERIFY(restored(1, kLeakage));
    QCOMPARE(rig.panel.text(1, Box::Text38), QStringLiteral("25"));
    QVERIFY(hasColourNear(rig.charts.channelChart(1), rig.plotter.channelX(1, 5), channelY(50, 100),
                          Red));
    QVERIFY(
        hasColourNear(rig.charts.groupChart(0), rig.plotter.groupX(1, 5), groupY(50, 100), Green));
    QVERIFY(near(printedAt(rig.charts.channelChart(1), "C点"),
                 {rig.plotter.channelX(1, 21), channelY(100, 100)}));

    // Electrolyte into channel 3: n = spark delay 3 + first spark time 8; the spark marked.
    out = rig.display.show({TestKind::Electrolyte, "E1HR", 2, DisplayGroup::Channels13});
    QCOMPARE(out.channel, 2);
    QVERIFY(out.complete);
    QVERIFY(restored(2, kElectrolyte));
    QCOMPARE(rig.panel.text(2, Box::Text35), QStringLiteral("E1HR"));
    const ChartCanvas& el = rig.charts.channelChart(2);
    QVERIFY(hasColourNear(el, rig.plotter.channelX(2, 5), channelY(200, 400), Red));
    QVERIFY(
        hasColourNear(rig.charts.groupChart(0), rig.plotter.groupX(2, 5), groupY(200, 400), Blue));
    QVERIFY(near(printedAt(el, "31A"), {rig.plotter.channelX(2, 8), channelY(250, 400)}));
    QVERIFY(near(printedAt(el, "C点"), {rig.plotter.channelX(2, 12), channelY(300, 400)}));
}

void TestStoredTestDisplay::slotsWrapAndTheSecondGroup() {
    // The window's slot counter through three displays and the wrap.
    QList<int> channels;
    for (int slot = 0, i = 0; i < 4; ++i) {
        const int k = displayChannel(slot, DisplayGroup::Channels13);
        channels << k;
        slot = nextDisplaySlot(k);
    }
    QCOMPARE(channels, (QList<int>{0, 1, 2, 0}));
    QCOMPARE(displayChannel(0, DisplayGroup::Channels46), 3);
    QCOMPARE(displayChannel(5, DisplayGroup::Channels16), 5);
    QCOMPARE(nextDisplaySlot(5), 0);

    Rig rig;
    rig.save(0, TestKind::Tv, kTv, 20, tvVolts);
    for (int slot : {0, 1, 2, 3}) {
        const DisplayOutcome out =
            rig.display.show({TestKind::Tv, "T1HL", slot, DisplayGroup::Channels13});
        QCOMPARE(out.channel, slot % 3);
    }
    // "4-6通道" from slot 0: channel 4, its group's kind option and comparison chart.
    const DisplayOutcome out =
        rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels46});
    QCOMPARE(out.channel, 3);
    QVERIFY(rig.panel.option(Option::TvTest, 1));
    QCOMPARE(rig.panel.text(3, Box::Text14), QStringLiteral("T1HL"));
    QVERIFY(
        hasColourNear(rig.charts.groupChart(1), rig.plotter.groupX(3, 10), groupY(150, 200), Red));
}

void TestStoredTestDisplay::timeScaleByLength() {
    const QList<QPair<int, float>> table{
        {0, 1.f / 32}, {9, 1.f / 32}, {10, 1.f / 16}, {19, 1.f / 16}, {20, 1.f / 8}, {39, 1.f / 8},
        {40, 1.f / 4}, {79, 1.f / 4}, {80, 1.f / 2},  {159, 1.f / 2}, {160, 1},      {319, 1},
        {320, 2},      {639, 2},      {640, 4},       {1279, 4},      {1280, 8},     {2559, 8},
        {2560, 16},    {5119, 16},    {5120, 32},     {6000, 32}};
    for (const auto& [n, scale] : table)
        QCOMPARE(displayTimeScale(n), scale);

    // Delay 60 and rise 50: 110 samples at 1/2, ending inside the chart.
    Rig rig;
    Boxes boxes = kTv;
    boxes[2].second = "60";
    boxes[4].second = "50";
    rig.save(0, TestKind::Tv, boxes, 110, tvVolts);
    const DisplayOutcome out =
        rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels13});
    QCOMPARE(out.samples, 110);
    QCOMPARE(rig.channels.timeScale[0], 0.5f);
    QVERIFY(hasColourNear(rig.charts.channelChart(0), rig.plotter.channelX(0, 110),
                          channelY(205, 200), Red));
}

void TestStoredTestDisplay::readingErrorsAreReported() {
    Rig rig;
    rig.save(0, TestKind::Tv, kTv, 5, tvVolts); // five samples of a test 17 long
    DisplayOutcome out = rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels13});
    QVERIFY(!out.complete);
    QCOMPARE(out.drawn, 5);
    QCOMPARE(rig.panel.text(0, Box::Text14), QStringLiteral("T1HL")); // as far as it got
    QCOMPARE(rig.prompter.texts().size(), 1);
    QVERIFY(rig.prompter.texts()[0].contains(QStringLiteral("少于测试长度 17 点")));

    rig.exec(TestKind::Tv, QStringLiteral("UPDATE 曲线数据 SET 电压 = 'abc' WHERE vi_order = 3"));
    out = rig.display.show({TestKind::Tv, "T1HL", 1, DisplayGroup::Channels13});
    QCOMPARE(out.drawn, 2);
    QVERIFY(rig.prompter.texts().last().contains(QStringLiteral("第 3 点不是数值")));

    rig.exec(TestKind::Tv, QStringLiteral("DELETE FROM 曲线数据"));
    out = rig.display.show({TestKind::Tv, "T1HL", 1, DisplayGroup::Channels13});
    QCOMPARE(out.drawn, 0);
    QVERIFY(rig.prompter.texts().last().contains(QStringLiteral("曲线数据不存在")));

    rig.exec(TestKind::Tv, QStringLiteral("UPDATE 铝箔TV参数 SET 延迟时间 = 'x'"));
    out = rig.display.show({TestKind::Tv, "T1HL", 2, DisplayGroup::Channels13});
    QCOMPARE(rig.panel.text(2, Box::Text4), QStringLiteral("x"));
    QVERIFY(rig.prompter.texts().last().contains(QStringLiteral("“延迟时间”不是数值")));

    // During a run nothing is touched.
    rig.channels.channelStopped[4] = false;
    out = rig.display.show({TestKind::Tv, "T1HL", 0, DisplayGroup::Channels16});
    QCOMPARE(out.channel, -1);
    QCOMPARE(rig.panel.text(0, Box::Text4), QStringLiteral("5"));
    QCOMPARE(rig.prompter.texts().size(), 5);
}

QTEST_MAIN(TestStoredTestDisplay)
#include "tst_storedtestdisplay.moc"
