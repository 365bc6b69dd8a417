#pragma once

#include "kinds/TestKindDescription.h"
#include "params/Box.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

#include <QString>

namespace q7rk {

class CurvePlotter;
class PanelModel;
class SettingsStore;
class ShellModel;

// The evaluation of one channel between sampling ticks: the characteristic points of its
// test kind, the end of its test, the result boxes, the verdict, and the parameters kept
// in the settings store once the channel has ended. The run controller calls `evaluate`
// for the channels it watches after every tick; `evaluate` reads the sample index and the
// readouts as they stand.
class Evaluator {
public:
    Evaluator(ChannelModel& channels, PanelModel& panel, SampleStore& store, RunStates& states,
              CurvePlotter& plotter, ShellModel& shell, SettingsStore& settings);

    // One look at channel k with n = sampleIndex (the newest sample is n - 1). Channels
    // outside the running group are left alone. True when the channel's test ended now.
    bool evaluate(int k);

    // The start routine's status text of channel k ("第1路开始TV测试", ...).
    void startTexts(int k);
    // The new-test reset of channel k: no peak, no point A or spark, not evaluated.
    void resetChannel(int k);

    // The result of an electrolyte test that held at its set voltage for the flash delay
    // without a spark.
    static QString noSparkText();

private:
    bool evaluateTv(int k, int n);
    bool evaluateLeakage(int k, int n);
    bool evaluateElectrolyte(int k, int n);
    void markPointA(int k, int n);
    // Marks the channel evaluated and stopped and draws point C.
    void endChannel(int k, int n);
    void finishTv(int k, int n);
    void finishLeakage(int k, int n);
    void trackHold(int k, int n);
    void finishElectrolyte(int k, int n);
    void setVerdict(int k, Box box);
    void keepBoxes(int k);
    void setStatus(int k, const QString& text);
    int integerOf(int k, Box box) const;
    double shownVoltage(int k) const;

    ChannelModel& m_channels;
    PanelModel& m_panel;
    SampleStore& m_store;
    RunStates& m_states;
    CurvePlotter& m_plotter;
    ShellModel& m_shell;
    SettingsStore& m_settings;
};

} // namespace q7rk
