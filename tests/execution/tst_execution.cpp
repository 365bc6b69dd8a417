#include "execution/Evaluator.h"
#include "execution/RemainingTime.h"
#include "execution/RunEvents.h"
#include "execution/SamplingTick.h"
#include "params/DesignTexts.h"
#include "params/PanelModel.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/ShellModel.h"
#include "support/TestStation.h"

#include <QSignalSpy>
#include <QtTest>

using namespace q7rk;
using S = QStringList;

// Identity calibration: V = raw / 50 and I = raw / 5000, so the tests set volts directly.
static MeasurementTables identity() {
    MeasurementTables t;
    for (auto* g : {&t.voltGainHigh, &t.voltGainLow, &t.currGainHigh, &t.currGainLow})
        g->fill(1);
    for (auto* o : {&t.voltOffsetHigh, &t.voltOffsetLow, &t.currOffsetHigh, &t.currOffsetLow})
        o->fill(0);
    return t;
}

// The sampling tick and the evaluation driven second by second over typed tests alone: no
// panel, no charts, no station. The tests start as a panel of design texts would give them.
struct TypedRun {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("run.ini"))};
    ChannelModel ch;
    SampleStore store;
    ChannelTests st;
    RunEvents events;
    SamplingTick tick{ch, store, st, events, identity()};
    Evaluator eval{ch, store, st, events, settings};

    explicit TypedRun(TestKind kind = TestKind::Tv) {
        for (int k = 0; k < ChannelCount; ++k) {
            st[k].stopped = k >= 3;
            for (int b = 1; b <= BoxCount; ++b)
                st[k].takeShown(Box(b), designText(k, Box(b)));
            st[k].kind = kind;
            st[k].looksForSparks = kind == TestKind::Electrolyte;
        }
    }
    void set(int k, Box b, const char* t) { st[k].takeShown(b, QString::fromUtf8(t)); }
    // Raw codes for a shown voltage and current (the series-resistor drop added back).
    void feed(int k, double volts, double mA = 0) {
        ch.rawVoltage[k] = float((volts + mA * 0.1) * 50);
        ch.rawCurrent[k] = float(mA * 5000);
    }
    void second() { // a tick, then the evaluation of channels 1-3
        tick.run();
        for (int k = 0; k < 3; ++k)
            eval.evaluate(k);
    }
    // Seconds until channel k stops (at most 400): the sample index it ended with.
    template <typename Feed> int secondsUntilStopped(int k, Feed feedAt) {
        while (!st[k].stopped && ch.sampleIndex < 400)
            feedAt(ch.sampleIndex), second();
        return ch.sampleIndex;
    }
    QString left(int k) const { return remainingTimeText(k, ch, st[k]); }
};

class TestExecution : public QObject {
    Q_OBJECT

private slots:
    void factoryCalibrationRangesAndClamping() {
        TypedRun r;
        SamplingTick factory(r.ch, r.store, r.st, r.events);
        r.ch.lastChannel = 0;
        // 100 V and 1 mA uncalibrated already take the high ranges; zero counts calibrate
        // below zero and clamp.
        for (float raw : {5000.0f, 4999.0f, 0.0f}) {
            r.ch.rawVoltage[0] = r.ch.rawCurrent[0] = raw;
            factory.run();
        }
        QCOMPARE(r.store.voltage(0, 1), 69.9f);
        QCOMPARE(r.store.current(0, 1), 0.716f);
        QCOMPARE(r.store.voltage(0, 2), 70.3f);
        QCOMPARE(r.store.current(0, 2), 0.690f);
        QCOMPARE(r.store.voltage(0, 3) + r.store.current(0, 3), 0.0f);
        // What the poll tells the instrument is the newest sample, as shown.
        QCOMPARE(r.st[0].reported.liveVoltage, std::optional(0.0));
    }

    void peakFromSampleThreeAndSparksStrictlyOverThreshold() {
        TypedRun r;
        r.ch.lastChannel = 0;
        for (double v : {300, 300, 250})
            r.feed(0, v), r.tick.run();
        QCOMPARE(r.st[0].peakIndex, 3.0f);
        QCOMPARE(r.st[0].sparkCount, 0); // a TV group looks for no sparks
        for (double v : {260, 260})      // an equal value does not move the peak
            r.feed(0, v), r.tick.run();
        QCOMPARE(r.st[0].peakIndex, 4.0f);
        QCOMPARE(r.st[0].reported.peakField, 4.0);
        r.st[0].stopped = true;
        r.feed(0, 300), r.tick.run();
        QCOMPARE(r.st[0].peakVoltage, 260.0f);

        TypedRun e(TestKind::Electrolyte);
        e.ch.lastChannel = 0;
        e.set(0, Box::SparkCorrection, "3.0");
        QSignalSpy sparks(&e.events, &RunEvents::sparkSeen);
        // Samples 1-2 are not looked at; a fall of exactly 3.0 is no spark.
        for (double v : {400, 300, 300, 400, 397, 400})
            e.feed(0, v), e.tick.run();
        QCOMPARE(e.st[0].sparkCount, 0);
        // The instrument hears the second spark's voltage there, not the peak's second.
        QCOMPARE(e.st[0].reported.peakField, 0.0);
        e.feed(0, 396.9), e.tick.run();
        e.feed(0, 390), e.tick.run();
        e.st[0].stopped = true; // still counted on a stopped channel
        for (double v : {380, 370, 300})
            e.feed(0, v), e.tick.run();
        QCOMPARE(e.st[0].sparkCount, 3);
        QCOMPARE(sparks.size(), 3);
        const Spark& first = e.st[0].sparks[0];
        QCOMPARE((std::tuple{first.index, first.volts, first.voltsBefore}),
                 (std::tuple{7, 396.9f, 400.0f}));
        QCOMPARE(e.st[0].number(Box::SparkTime2), 8.0);
        QCOMPARE(e.st[0].number(Box::SparkVoltage3), 380.0);
        QCOMPARE(e.st[0].reported.peakField, 390.0);
    }

    void groupAndFullStore() {
        TypedRun r;
        r.ch.lastChannel = 1;
        for (int k = 0; k < ChannelCount; ++k)
            r.feed(k, 100);
        r.store.set(2, 1, 7, 7);
        r.tick.run();
        QCOMPARE(r.store.voltage(1, 1), 100.0f);
        QCOMPARE(r.store.voltage(2, 1), 7.0f);
        r.ch.sampleIndex = SampleStore::MaxSample;
        r.tick.run();
        QCOMPARE(r.store.voltage(1, SampleStore::MaxSample), 100.0f);
        QVERIFY(!r.st[0].stopped);
        r.feed(0, 200);
        r.tick.run(), r.tick.run(); // no room left: the channels end, nothing is written
        QCOMPARE(r.ch.sampleIndex, qint16(SampleStore::MaxSample + 1));
        QVERIFY(r.st[0].stopped && r.st[1].stopped && !r.st[2].stopped);
        QCOMPARE(r.st[0].reported.liveVoltage, std::optional(100.0));
    }

    void tvPointAEndAndVerdicts() {
        TypedRun r;
        for (int k = 0; k < 3; ++k)
            r.set(k, Box::DelayTime, "60"), r.set(k, Box::RiseTimeLimit, "40");
        QSignalSpy judged(&r.events, &RunEvents::judged);
        // Vr = 180 V: channels 1 and 2 reach it at sample 35, channel 3 never.
        for (int n = 1; n <= 34; ++n)
            r.feed(0, 179.9), r.feed(1, 100), r.feed(2, 179.9), r.second();
        QCOMPARE(r.left(0), QStringLiteral("等待A点"));
        r.feed(0, 180), r.feed(1, 180), r.second();
        QCOMPARE(r.st[0].riseTime, 35);
        QCOMPARE(r.st[0].reported.riseTime, std::optional(35.0));
        QCOMPARE(r.left(0), QStringLiteral("剩余1分00秒")); // the delay, counted from point A
        r.feed(0, 200), r.feed(1, 200), r.second();
        QCOMPARE(r.left(0), QStringLiteral("剩余59秒"));
        // Rise 35 + delay 60: the first look with sample index 96 ends the test.
        QCOMPARE(r.secondsUntilStopped(0, [&](int) { r.feed(0, 200), r.feed(1, 199.9); }), 96);
        QVERIFY(r.st[0].evaluated && r.st[1].evaluated && !r.eval.evaluate(0));
        QCOMPARE(judged.size(), 2);
        QCOMPARE(r.left(0), QString());
        QCOMPARE(r.left(4), QString()); // outside the group
        QCOMPARE((std::tuple{r.st[0].tvValue, r.st[0].failed, r.st[0].reported.code}),
                 (std::tuple{200.0, false, Reported::Code::Pass}));
        // 199.9 V stays 199.9 V: below the formation voltage of 200 V.
        QCOMPARE((std::tuple{r.st[1].tvValue, r.st[1].failed, r.st[1].reported.code}),
                 (std::tuple{199.9, true, Reported::Code::Fail}));
        QCOMPARE(r.st[0].reported.peakField, 36.0);
        for (int n = 0; n < 100; ++n)
            r.second();
        QVERIFY(!r.st[2].stopped);
    }

    void leakageAgainstLimit() {
        TypedRun r(TestKind::Leakage);
        r.ch.lastChannel = 1;
        for (int k = 0; k < 2; ++k)
            r.set(k, Box::LeakageLimit, "0.05"), r.set(k, Box::LeakageTestTime, "10");
        r.feed(0, 100, 0.050), r.feed(1, 100, 0.051);
        QCOMPARE(r.left(0), QStringLiteral("剩余10秒")); // counted from the start of the run
        r.second();
        QCOMPARE(r.left(1), QStringLiteral("剩余9秒"));
        QCOMPARE(r.secondsUntilStopped(0, [](int) {}), 11);
        QCOMPARE((std::tuple{r.st[0].leakageCurrent, r.st[0].failed}), (std::tuple{0.05, false}));
        QCOMPARE((std::tuple{r.st[1].leakageCurrent, r.st[1].failed}), (std::tuple{0.051, true}));
        QCOMPARE(r.st[0].reported.peakField, 10.0); // the samples taken
        // A leakage channel leaves the TV verdict it was started with to the instrument.
        QCOMPARE(r.st[0].reported.code, Reported::Code::Pending);
    }

    void electrolyteEndsAfterFlashDelayOrWithoutSpark() {
        TypedRun r(TestKind::Electrolyte);
        r.ch.lastChannel = 2;
        r.set(0, Box::ReferenceVoltage, "395");
        r.set(0, Box::ElectrolyteSetVoltage, "450");
        for (int k : {1, 2})
            r.set(k, Box::ElectrolyteSetVoltage, "400");
        // Channel 1 sparks at 100 s and sinks to 380 V after it. Channel 2 climbs, dips out of
        // the band at the set voltage (1 %: 396 V) at 40 s and holds from 41 s on without a
        // spark. Channel 3 never gets there.
        const auto volts = [&](int n) {
            r.feed(0, n < 100 ? 400 : n == 100 ? 390 : n == 101 ? 380 : 385);
            r.feed(1, n < 30 ? 10 + n * 13 : n == 40 ? 395.9 : 396);
            r.feed(2, 395.9);
        };
        while (r.ch.sampleIndex < 100)
            volts(r.ch.sampleIndex), r.second();
        QCOMPARE(r.left(0), QStringLiteral("等待火花"));
        QCOMPARE(r.left(1), QStringLiteral("剩余1分02秒")); // held since 41 s, for 120 s
        volts(r.ch.sampleIndex), r.second();                // the spark at 100 s
        QCOMPARE(r.left(0), QStringLiteral("剩余2分00秒")); // the flash delay, from the spark
        QCOMPARE(r.secondsUntilStopped(1, volts), 162);
        // 400 V set against the design texts' 80 V reference, no spark: passed.
        QCOMPARE((std::tuple{r.st[1].sparkSeen, r.st[1].failed}), (std::tuple{false, false}));
        QCOMPARE(r.secondsUntilStopped(0, volts), 221);
        QVERIFY(!r.st[2].stopped);
        QCOMPARE(r.left(2), QStringLiteral("等待火花"));
        const ChannelTest& t = r.st[0];
        QCOMPARE((std::tuple{t.number(Box::SparkTime1), t.number(Box::SparkVoltage1),
                             t.number(Box::VoltageBeforeSpark1), t.number(Box::MaximumVoltage),
                             t.number(Box::MinimumVoltage), t.failed}),
                 (std::tuple{100.0, 390.0, 400.0, 400.0, 380.0, true})); // 390.0 < 395
        r.st[0].clearMeasurements();
        QVERIFY(!t.firstSparkSeen && !t.sparkSeen && !t.evaluated && t.sparkCount == 0);
    }

    // The station's panel, charts, status bar and settings follow the run's events: a TV
    // channel and an electrolyte channel to their ends.
    void thePanelShowsWhatTheRunJudged() {
        testing::TestStation p;
        ChannelModel& ch = p.channels;
        PanelModel& panel = p.panel;
        ChannelTests& st = p.station.runTests();
        const auto text = [&](int k, std::initializer_list<Box> boxes) {
            S out;
            for (Box b : boxes)
                out << panel.text(k, b);
            return out;
        };
        panel.clickOption(Option::TvTest, 0);
        for (Box b : {Box::DelayTime, Box::RiseTimeLimit})
            panel.setText(0, b, QStringLiteral("3"));
        panel.setText(0, Box::TvOperator, QStringLiteral("张三"));
        ch.lastChannel = 0;
        for (int k = 0; k < ChannelCount; ++k)
            st[k].stopped = k > 0;
        p.station.takeTestsAtStart();
        SamplingTick tick{ch, p.station.samples(), st, p.station.runEvents(), identity()};
        Evaluator eval{ch, p.station.samples(), st, p.station.runEvents(), p.station.settings()};
        const auto second = [&](double volts) {
            ch.rawVoltage[0] = float(volts * 50);
            tick.run(), eval.evaluate(0);
        };
        for (double v : {100.0, 150.0, 199.96, 210.0, 205.0, 205.0, 205.0})
            second(v);
        QCOMPARE(text(0, {Box::LiveVoltage, Box::RiseTime, Box::Readout49}),
                 S({"205.0", "3", "3"}));
        QCOMPARE(p.shell.statusText(1), QStringLiteral("第1路TV测试结束"));
        QCOMPARE(
            text(0, {Box::TvValue, Box::Readout52, Box::Readout50, Box::Readout51, Box::TvVerdict}),
            S({"205", "205", "4", "210", "合格"}));
        const SettingsStore saved(p.station.settings().filePath());
        QCOMPARE(saved.read(section::Canshu, QStringLiteral("Thl(0)")), QStringLiteral("3"));
        QCOMPARE(saved.read(section::Topic, QStringLiteral("LBUSER(0)")), QStringLiteral("张三"));

        panel.clickOption(Option::ElectrolyteTest, 0);
        panel.setText(0, Box::SparkCorrection, QStringLiteral("3.0"));
        ch.sampleIndex = 1;
        st[0].stopped = false;
        st[0].clearMeasurements();
        p.station.takeTestsAtStart();
        for (double v : {400.0, 400.0, 400.0, 396.9, 390.0})
            second(v);
        QCOMPARE(text(0, {Box::SparkVoltage1, Box::SparkTime1, Box::Readout49,
                          Box::VoltageBeforeSpark1, Box::SparkVoltage2, Box::Readout50}),
                 S({"396.9", "4", "396.9", "400.0", "390.0", "390.0"}));
    }
};

QTEST_MAIN(TestExecution)
#include "tst_execution.moc"
