// The main window's behaviour without widgets: start-up from the settings store, the
// new-test reset, dispatch by command, and the rules of the command table.
#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "plant/PlantPage.h"
#include "results/MeasuredRecord.h"
#include "results/PanelRecord.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "station/CommandRules.h"
#include "station/ParametersBeforeDisplay.h"
#include "station/StartRun.h"
#include "station/Station.h"
#include "support/SimulatorProcess.h"
#include "support/TestStation.h"

#include <QDate>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace q7rk;
using enum q7rk::Box;

namespace {

using q7rk::testing::TestStation;

TestStation::Seed canshu(const QList<std::pair<QString, QString>>& values) {
    return [values](SettingsStore& s) {
        for (const auto& [k, v] : values)
            s.write("canshu", k, v);
    };
}

} // namespace

class StationTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesTheInitialValues() {
        TestStation p;
        p.controller.startUp();
        // Which values are initial is the settings store's test; here they are on disk.
        QCOMPARE(SettingsStore(p.settings.filePath()).read("canshu", "hcdy(5)"), QString("200"));
        QCOMPARE(p.panel.text(1, TvTestDate), QDate::currentDate().toString("yyyy/MM/dd"));
        // The position lists of channels 1-3 are filled (the window's test reads one).
        QCOMPARE(p.panel.comboItems(2, Box::ElectrolyteSamplePosition).size(), 6);
        QVERIFY(p.panel.comboItems(3, Box::SamplePosition).isEmpty());
        QVERIFY(!p.shell.toolbarVisible()); // until a link
        QVERIFY(p.prompter.shown().isEmpty());
    }

    // Parameters of channels 1-3 only; calibration factors of all six, since the end of a
    // run writes all six back.
    void startUpReadsParametersOfChannelsOneToThree() {
        const auto seed = canshu({{"hcdy(0)", "300"},
                                  {"HCDY(3)", "555"},
                                  {"Vadjust(0)", "1.25"},
                                  {"Vadjust(3)", "2"},
                                  {"hxfd(1)", "4"},
                                  {"rj45ip", "10.0.0.7"},
                                  {"plantLoginTimeout", "3"},
                                  {QString::fromUtf8("存储运行标志"), "12"}});
        TestStation p([&](SettingsStore& s) {
            seed(s);
            s.write("topic", "LBUSER(1)", QString::fromUtf8("王工"));
        });
        p.controller.startUp();
        QCOMPARE(p.panel.text(0, FormationVoltage), QString("300"));
        QCOMPARE(p.channels.voltageAdjust[0], 1.25f);
        QCOMPARE(p.channels.timeScale[1], 4.0f);
        QCOMPARE(p.panel.text(1, TvOperator), QString::fromUtf8("王工"));
        QCOMPARE(p.panel.text(0, InstrumentAddress), QString("10.0.0.7"));
        QCOMPARE(p.station.plant().source().waits().loginSeconds, 3);
        QCOMPARE(p.channels.voltageAdjust[3], 2.0f);
        // Channels 4-6 keep the form's texts.
        QCOMPARE(p.panel.text(3, FormationVoltage), QString("800"));
        QCOMPARE(
            SettingsStore(p.settings.filePath()).read("canshu", QString::fromUtf8("存储运行标志")),
            QString("0"));
    }

    void damagedValuesNeverStopStartUp() {
        TestStation p(canshu({{"hcdy(1)", "abc"},
                              {"vrb(0)", ""},
                              {"Vadjust(0)", "x1"},
                              {"KI(2)", "1..2"},
                              {"hxfd(0)", "0"},
                              {"hxfd16", "-4"},
                              {"option5(0)", "maybe"},
                              {"Currency_C(1)", "blue"},
                              {"Thy(2)", " 90 "},
                              {"RJ45Port", "40o1"},
                              {"plantStatementTimeout", "0"}})); // 0: no bound at all
        p.controller.startUp();
        QCOMPARE(p.panel.text(1, FormationVoltage), QString("200"));
        QCOMPARE(p.panel.text(0, VrRatio), QString("90"));
        QCOMPARE(p.panel.text(2, LeakageTestTime), QString("90"));
        QCOMPARE(p.channels.voltageAdjust[0], 1.0f);
        QCOMPARE(p.channels.KI[2], 1.0f);
        QCOMPARE(p.channels.timeScale[0], 1.0f); // a zero scale would break the curves
        QCOMPARE(p.channels.groupTimeScale, 1.0f);
        QCOMPARE(p.channels.currentColour[1], quint32(16711680));
        QCOMPARE(p.panel.text(0, InstrumentPort), QString("4001"));
        QCOMPARE(p.channels.kind(0), TestKind::Tv);
        QCOMPARE(p.station.plant().source().waits().statementSeconds, 5);
    }

    void restoredKindOptionsDecideEachGroup() {
        TestStation p(canshu({{"option5(1)", "False"},
                              {"option6(1)", "True"},
                              {"option5(0)", "False"},
                              {"option7(0)", "True"},
                              {"option8(0)", "False"},
                              {"option9(0)", "True"},
                              {"Thl(0)", "20"},
                              {"Thl(1)", "30"},
                              {"Thl(2)", "40"}}));
        p.controller.startUp();
        // The boxes and captions of each kind are the panel model's test.
        for (int k = 0; k < 3; ++k) {
            // 水煮前 (restored True by default): one foil, one delay on all three channels.
            QCOMPARE(p.panel.text(k, DelayTime), QString("180"));
            QCOMPARE(p.channels.kind(k), TestKind::Electrolyte);
        }
        QCOMPARE(p.channels.kind(5), TestKind::Leakage);
        // The link follows the restored option: 不联动 shown means nothing is copied.
        QVERIFY(!p.panel.paramLinked(0) && p.panel.paramLinked(3));
    }

    // A foil after boiling keeps its 60 s at start-up, whatever group 4-6's option says.
    void afterBoilingDelayAtStartUp() {
        TestStation p(canshu({{"option1(0)", "False"}, {"option2(0)", "True"}}));
        p.controller.startUp();
        for (int k = 0; k < 3; ++k)
            QCOMPARE(p.panel.text(k, DelayTime), QString("60"));
    }

    // A before-boiling record shown in channel 1 of an after-boiling group: the start puts back
    // the option and every delay, keeps what the operator typed since, and a linked group
    // whose values still differ is named.
    void aDisplayIsNotTheNextRunsParameters() {
        TestStation p;
        p.controller.startUp();
        p.panel.clickOption(Option::AfterBoiling, 0);
        for (int k = 0; k < 3; ++k)
            p.panel.setText(k, TvTestNumber, "R1");
        ParametersBeforeDisplay kept;
        kept.beforeDisplay(p.panel);
        ChannelTest run;
        takeTestAtStart(p.panel, 0, run);
        StoredTest old = measuredRecord(run, p.station.samples(), 0, 0);
        takeOperatorTexts(old, p.panel, 0);
        for (const auto& [field, value] : {std::pair{"测试编号", "OLDHL"},
                                           {"延迟时间", "180"},
                                           {"水煮前", "True"},
                                           {"水煮后", "False"}})
            old.setValue(QString::fromUtf8(field), QString::fromUtf8(value));
        showStoredTest(p.panel, 0, old);
        kept.afterDisplay(p.panel);
        QVERIFY(p.panel.option(Option::BeforeBoiling, 0));
        QCOMPARE(differingLinkedValue(p.panel, 0, 2),
                 QString::fromUtf8("第1-3路参数联动，但第2路的延迟时间（60）与第1路（180）不同，"
                                   "请核对后再开始测试。"));
        p.panel.setText(0, SamplePosition, "TL"); // the operator's own entry after the display
        QVERIFY(kept.restore(p.panel, 0, 2));
        QVERIFY(p.panel.option(Option::AfterBoiling, 0) &&
                !p.panel.option(Option::BeforeBoiling, 0));
        QCOMPARE((QStringList{p.panel.text(0, DelayTime), p.panel.text(0, TvTestNumber),
                              p.panel.text(0, SamplePosition)}),
                 (QStringList{"60", "R1", "TL"}));
        QVERIFY(differingLinkedValue(p.panel, 0, 2).isEmpty() && !kept.pending());
    }

    void newTestResetByKindUpToTheLastChannel() {
        TestStation p;
        p.controller.startUp();
        p.panel.clickOption(Option::LeakageTest, 1);
        p.panel.clickOption(Option::ElectrolyteTest, 0);
        p.panel.clickOption(Option::TvTest, 0);
        p.channels.setKind(1, TestKind::Leakage);
        p.channels.setKind(2, TestKind::Electrolyte);
        p.channels.lastChannel = 5;
        for (int k = 0; k < 6; ++k)
            for (Box b : {TvValue, TvVerdict, LeakageVerdict, ElectrolyteVerdict, Readout52})
                p.panel.setText(k, b, "9");
        p.channels.rawVoltage.fill(5);
        p.controller.perform(Command::NewTest);

        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路关闭"));
        QCOMPARE(p.shell.statusText(5), QString::fromUtf8("第5路关闭："));
        // Each channel's verdict box of its own kind only.
        QCOMPARE(p.panel.text(0, TvVerdict), QString::fromUtf8("待定"));
        QCOMPARE(p.panel.text(0, LeakageVerdict), QString("9"));
        QCOMPARE(p.panel.text(1, LeakageVerdict), QString::fromUtf8("待定"));
        QCOMPARE(p.panel.text(2, ElectrolyteVerdict), QString::fromUtf8("待定"));
        QCOMPARE(p.panel.text(5, Readout52), QString("0"));
        QCOMPARE(p.channels.rawVoltage[5], 0.0f);
        QCOMPARE(p.channels.timeScale[3], 0.03125f);
        QCOMPARE(p.channels.groupTimeScale, 0.125f);
        // In memory only: the stored scales stay.
        QCOMPARE(SettingsStore(p.settings.filePath()).read("canshu", "hxfd(0)"), QString("1"));

        // The reset stops at the run's last channel, and reframes only the charts it reset.
        p.channels.setKind(1, TestKind::Tv);
        p.channels.lastChannel = 0;
        p.panel.setText(0, TvValue, "412.5");
        p.panel.setText(1, TvValue, "398.1");
        QSignalSpy framed(&p.charts, &ChartSet::channelChartChanged);
        p.controller.perform(Command::NewTest);
        QCOMPARE(p.panel.text(0, TvValue), QString("0"));
        QCOMPARE(p.panel.text(1, TvValue), QString("398.1"));
        QCOMPARE(framed.count(), 1);
        QCOMPARE(framed.first().first().toInt(), 0);
    }

    // What each command may do depends on where the tests stand: a live run refuses what
    // would change or store its channels, and a finished test nobody stored is given up only
    // on Yes; interrupted and recalled tests are nothing to store.
    void commandsFollowTheLifecycleOfEachChannel() {
        using V = CommandCheck::Verdict;
        auto verdict = [](Command c, const TestLifecycle& t, bool running, int k = -1) {
            return k < 0 ? checkCommand(c, t, running).verdict
                         : checkCommand(c, t, running, k, k).verdict;
        };
        TestLifecycle t;
        QCOMPARE(checkCommand(Command::Save, t, false).text,
                 QString::fromUtf8("没有需要保存的测试数据"));
        t.runStarted(0, 2);
        t.sampleTaken(5);
        for (Command c : {Command::Save, Command::NewTest, Command::OpenFoil, Command::DeleteFoil,
                          Command::DisplayStored, Command::PrintReport, Command::RetryPlant,
                          Command::ImportOldData, Command::ImportOldSettings})
            QCOMPARE(verdict(c, t, true), V::Refuse);
        QCOMPARE(checkCommand(Command::Quit, t, true).text,
                 QString::fromUtf8("测试正在进行，确定要停止测试并退出吗？"));
        StoredTest fiveSamples;
        fiveSamples.curve.resize(5);
        t.judged(0, fiveSamples);
        t.runEnded();
        QCOMPARE(t.unsaved(), QList<int>{0});
        QCOMPARE(t.samplesTaken(0), 5);
        QCOMPARE(t.state(1), TestState::Interrupted);
        QCOMPARE(verdict(Command::DisplayStored, t, false, 1), V::Go);
        QCOMPARE(verdict(Command::DisplayStored, t, false, 0), V::Ask);
        QCOMPARE(verdict(Command::NewTest, t, false), V::Ask);
        QCOMPARE(verdict(Command::ImportOldSettings, t, false), V::Ask); // loads the channels
        QCOMPARE(verdict(Command::ImportOldData, t, false), V::Go);
        QCOMPARE(verdict(Command::Save, t, false), V::Go);
        t.stored(0);
        QCOMPARE(verdict(Command::Save, t, false), V::Refuse);
        // A plant piece declined: the next 保存 offers it, until a new run gives it up.
        t.pieceOffered(0, RunPiece{0, 1, "S1", {}}, PieceState::NotSent);
        QCOMPARE(verdict(Command::Save, t, false), V::Go);
        t.runStarted(2, 2);
        QCOMPARE(verdict(Command::Save, t, false), V::Refuse);
        QCOMPARE(verdict(Command::Quit, t, false), V::Go);
        t.recalled(1, "S2HM");
        QCOMPARE(verdict(Command::Save, t, false), V::Refuse);
        t.runStarted(0, 0);
        t.judged(0, fiveSamples);
        t.runEnded();
        t.runStarted(1, 1); // the next run gives up channel 1's unsaved test
        QCOMPARE(t.unsaved(), QList<int>{});
    }

    // A question nobody answered is reported by its id (the runner exits on it) and is No.
    void anUnansweredQuestionIsNoAndReportedById() {
        QList<Question> missing;
        ScriptedPrompter script;
        script.onUnanswered([&missing](Question id, const QString&) { missing << id; });
        QVERIFY(!script.ask(Question::AddGrade, {}, {}) && missing == QList{Question::AddGrade});
    }

    void aNewTestVoltageReframesEveryLinkedChart() {
        TestStation p;
        p.controller.startUp();
        p.panel.type(4, FormationVoltage, "400");
        p.panel.leave(4, FormationVoltage);
        // Linked from start-up: every TV chart now scales to 400 V (labels 60, 120, ...).
        QCOMPARE(p.charts.channelChart(0).textsAt(QPointF(50, 3600 - 400)), QStringList({"60"}));
    }

    void commandsReachTheirPartsByCommand() {
        TestStation p;
        QSignalSpy quit(&p.controller, &Station::quitRequested);
        p.controller.perform(Command::Quit);
        QCOMPARE(quit.count(), 1);
        p.controller.perform(Command::ShowCurrentCurves);
        QVERIFY(p.channels.showCurrentCurve);
        p.controller.perform(
            Command::WidenGroupTimeAxes); // the factors themselves are the charts' test
        QCOMPARE(p.channels.groupTimeScale, 2.0f);
    }
};

QTEST_MAIN(StationTest)
#include "tst_station.moc"
