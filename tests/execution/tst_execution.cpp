#include "execution/Evaluator.h"
#include "execution/RemainingTime.h"
#include "execution/SamplingTick.h"
#include "settings/SettingsKeys.h"
#include "support/TestStation.h"

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

// The sampling tick and the evaluation driven second by second over the station's panel,
// charts, status bar and settings, without the run's timers.
class TestExecution : public QObject {
    Q_OBJECT
    testing::TestStation p;
    ChannelModel& ch = p.channels;
    PanelModel& panel = p.panel;
    SampleStore& store = p.station.samples();
    RunStates& st = p.station.runStates();
    SettingsStore& settings = p.station.settings();
    SamplingTick tick{ch, panel, store, st, p.station.plotter(), identity()};
    Evaluator eval{ch, panel, store, st, p.station.plotter(), p.shell, settings};

    void set(int k, Box b, const char* t) { panel.setText(k, b, QString::fromUtf8(t)); }
    S texts(int k, std::initializer_list<Box> boxes) const {
        S out;
        for (Box b : boxes)
            out << panel.text(k, b);
        return out;
    }
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
        while (!ch.channelStopped[k] && ch.sampleIndex < 400)
            feedAt(ch.sampleIndex), second();
        return ch.sampleIndex;
    }
    QString left(int k) const { return remainingTimeText(k, ch, st[k], panel); }
    QString saved(const QString& section, const char* key) const {
        return SettingsStore(settings.filePath()).read(section, QString::fromUtf8(key));
    }

private slots:
    void init() {
        ch = ChannelModel{};
        ch.channelStopped = {false, false, false, true, true, true};
        store = SampleStore{};
        st = RunStates{};
        panel.resetToDesign();
        panel.clickOption(Option::TvTest, 0);
    }

    void factoryCalibrationRangesAndClamping() {
        SamplingTick factory(ch, panel, store, st, p.station.plotter());
        ch.lastChannel = 0;
        // 100 V and 1 mA uncalibrated already take the high ranges; zero counts calibrate
        // below zero and clamp.
        for (float raw : {5000.0f, 4999.0f, 0.0f}) {
            ch.rawVoltage[0] = ch.rawCurrent[0] = raw;
            factory.run();
        }
        QCOMPARE(store.voltage(0, 1), 69.9f);
        QCOMPARE(store.current(0, 1), 0.716f);
        QCOMPARE(store.voltage(0, 2), 70.3f);
        QCOMPARE(store.current(0, 2), 0.690f);
        QCOMPARE(texts(0, {Box::LiveVoltage, Box::LiveCurrent}), S({"0.0", "0.000"}));
        QCOMPARE(store.voltage(0, 3) + store.current(0, 3), 0.0f);
    }

    void peakFromSampleThree() {
        ch.lastChannel = 0;
        for (double v : {300, 300, 250})
            feed(0, v), tick.run();
        QCOMPARE(texts(0, {Box::Readout50, Box::Readout51}), S({"3", "250"}));
        QCOMPARE(st[0].sparkCount, 0); // a TV group looks for no sparks
        for (double v : {260, 260})    // an equal value does not move the peak
            feed(0, v), tick.run();
        QCOMPARE(texts(0, {Box::Readout50, Box::Readout51}), S({"4", "260"}));
        ch.channelStopped[0] = true;
        feed(0, 300), tick.run();
        QCOMPARE(st[0].peakVoltage, 260.0f);
    }

    void sparksStrictlyOverThreshold() {
        ch.lastChannel = 0;
        panel.clickOption(Option::ElectrolyteTest, 0);
        set(0, Box::SparkCorrection, "3.0");
        // Samples 1-2 are not looked at; a fall of exactly 3.0 is no spark.
        for (double v : {400, 300, 300, 400, 397, 400})
            feed(0, v), tick.run();
        QCOMPARE(st[0].sparkCount, 0);
        // 火花2 waits for the second spark's voltage; the peak's second is not shown there.
        QCOMPARE(texts(0, {Box::Readout50, Box::Readout51}), S({"0", "400"}));
        feed(0, 396.9), tick.run();
        QCOMPARE(texts(0, {Box::SparkVoltage1, Box::SparkTime1, Box::Readout49}),
                 S({"396.9", "7", "396.9"}));
        feed(0, 390), tick.run();
        ch.channelStopped[0] = true; // still counted on a stopped channel
        for (double v : {380, 370})
            feed(0, v), tick.run();
        QCOMPARE(st[0].sparkCount, 3);
        QCOMPARE(texts(0, {Box::SparkVoltage2, Box::SparkTime2, Box::Readout50, Box::SparkVoltage3,
                           Box::SparkTime3, Box::Readout52}),
                 S({"390.0", "8", "390.0", "380.0", "9", "380.0"}));
    }

    void groupAndFullStore() {
        ch.lastChannel = 1;
        for (int k = 0; k < ChannelCount; ++k)
            feed(k, 100);
        store.set(2, 1, 7, 7);
        tick.run();
        QCOMPARE(store.voltage(1, 1), 100.0f);
        QCOMPARE(store.voltage(2, 1), 7.0f);
        ch.sampleIndex = SampleStore::MaxSample;
        tick.run();
        QCOMPARE(store.voltage(1, SampleStore::MaxSample), 100.0f);
        QVERIFY(!ch.channelStopped[0]);
        feed(0, 200);
        tick.run(), tick.run(); // no room left: the channels end, nothing is written
        QCOMPARE(ch.sampleIndex, qint16(SampleStore::MaxSample + 1));
        QVERIFY(ch.channelStopped[0] && ch.channelStopped[1] && !ch.channelStopped[2]);
        QCOMPARE(panel.text(0, Box::LiveVoltage), QStringLiteral("100.0"));
    }

    void tvPointAEndAndVerdicts() {
        for (int k = 0; k < 3; ++k)
            set(k, Box::DelayTime, "60"), set(k, Box::RiseTimeLimit, "40"), eval.startTexts(k);
        set(0, Box::TvOperator, "张三");
        // Vr = 180 V: channels 1 and 2 reach it at sample 35, channel 3 never.
        for (int n = 1; n <= 34; ++n)
            feed(0, 179.9), feed(1, 100), feed(2, 179.9), second();
        QCOMPARE(left(0), QStringLiteral("等待A点"));
        feed(0, 180), feed(1, 180), second();
        QCOMPARE(texts(0, {Box::RiseTime, Box::Readout49}), S({"35", "35"}));
        QCOMPARE(left(0), QStringLiteral("剩余1分00秒")); // the delay, counted from point A
        feed(0, 200), feed(1, 200), second();
        QCOMPARE(left(0), QStringLiteral("剩余59秒"));
        QCOMPARE(p.shell.statusText(1), QStringLiteral("1路A点：35s-180.0V"));
        QVERIFY(!settings.contains(section::Canshu, QStringLiteral("Thl(0)")));
        // Rise 35 + delay 60: the first look with sample index 96 ends the test.
        QCOMPARE(secondsUntilStopped(0, [&](int) { feed(0, 200), feed(1, 199.9); }), 96);
        QVERIFY(st[0].evaluated && st[1].evaluated && !eval.evaluate(0));
        QCOMPARE(left(0), QString());
        QCOMPARE(left(4), QString()); // outside the group
        QCOMPARE(texts(0, {Box::TvValue, Box::Readout52, Box::Readout50, Box::Readout51,
                           Box::TvVerdict}),
                 S({"200", "200", "36", "200", "合格"}));
        QCOMPARE(texts(1, {Box::TvValue, Box::TvVerdict}), S({"199.9", "不合格"}));
        QCOMPARE(saved(section::Canshu, "Thl(0)"), QStringLiteral("60"));
        QCOMPARE(saved(section::Topic, "LBUSER(0)"), QStringLiteral("张三"));
        for (int n = 0; n < 100; ++n)
            second();
        QVERIFY(!ch.channelStopped[2]);
    }

    void leakageAgainstLimit() {
        ch.lastChannel = 1;
        panel.clickOption(Option::LeakageTest, 0);
        for (int k = 0; k < 2; ++k)
            set(k, Box::LeakageLimit, "0.05"), set(k, Box::LeakageTestTime, "10");
        eval.startTexts(0);
        feed(0, 100, 0.050), feed(1, 100, 0.051);
        QCOMPARE(left(0), QStringLiteral("剩余10秒")); // counted from the start of the run
        second();
        QCOMPARE(left(1), QStringLiteral("剩余9秒"));
        QCOMPARE(secondsUntilStopped(0, [](int) {}), 11);
        QCOMPARE(texts(0, {Box::LeakageCurrent, Box::LeakageVerdict, Box::Readout50}),
                 S({"0.050", "合格", "10"}));
        QCOMPARE(texts(1, {Box::LeakageCurrent, Box::LeakageVerdict}), S({"0.051", "不合格"}));
        QCOMPARE(saved(section::Canshu, "Thy(1)"), QStringLiteral("10"));
    }

    void electrolyteEndsAfterFlashDelayOrWithoutSpark() {
        ch.lastChannel = 2;
        panel.clickOption(Option::ElectrolyteTest, 0);
        set(0, Box::ReferenceVoltage, "395");
        set(0, Box::ElectrolyteSetVoltage, "450");
        for (int k : {1, 2})
            set(k, Box::ElectrolyteSetVoltage, "400");
        // Channel 1 sparks at 100 s and sinks to 380 V after it. Channel 2 climbs, dips out of
        // the band at the set voltage (1 %: 396 V) at 40 s and holds from 41 s on without a
        // spark. Channel 3 never gets there.
        const auto volts = [&](int n) {
            feed(0, n < 100 ? 400 : n == 100 ? 390 : n == 101 ? 380 : 385);
            feed(1, n < 30 ? 10 + n * 13 : n == 40 ? 395.9 : 396);
            feed(2, 395.9);
        };
        while (ch.sampleIndex < 100)
            volts(ch.sampleIndex), second();
        QCOMPARE(left(0), QStringLiteral("等待火花"));
        QCOMPARE(left(1), QStringLiteral("剩余1分02秒")); // held since 41 s, for 120 s
        volts(ch.sampleIndex), second();                  // the spark at 100 s
        QCOMPARE(left(0), QStringLiteral("剩余2分00秒")); // the flash delay, from the spark
        QCOMPARE(secondsUntilStopped(1, volts), 162);
        QCOMPARE(texts(1, {Box::Readout49, Box::SparkTime1, Box::MinimumVoltage,
                           Box::ElectrolyteVerdict}),
                 S({"未闪火", "0", "0", "合格"})); // 400 V set, 80 V reference
        QCOMPARE(p.shell.statusText(2), QStringLiteral("第2路电解液测试结束，未闪火"));
        QCOMPARE(secondsUntilStopped(0, volts), 221);
        QVERIFY(!ch.channelStopped[2]);
        QCOMPARE(left(2), QStringLiteral("等待火花"));
        QCOMPARE(texts(0, {Box::SparkTime1, Box::SparkVoltage1, Box::VoltageBeforeSpark1,
                           Box::MaximumVoltage, Box::MinimumVoltage, Box::ElectrolyteVerdict}),
                 S({"100", "390.0", "400.0", "400", "380", "不合格"})); // 390.0 < 395
        QCOMPARE(saved(section::Canshu, "djyshys(0)"), QStringLiteral("120"));
        eval.resetChannel(0);
        QVERIFY(!st[0].firstSparkSeen && !st[0].sparkSeen && !st[0].evaluated);
    }
};

QTEST_MAIN(TestExecution)
#include "tst_execution.moc"
