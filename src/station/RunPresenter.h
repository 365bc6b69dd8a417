#pragma once

#include "kinds/ChannelTest.h"

#include <QObject>

namespace q7rk {

class CurvePlotter;
class PanelModel;
class RunEvents;
class SampleStore;
class SettingsStore;
class ShellModel;

// Shows a run as it happens: the readouts and result boxes of the panel in their display
// formats, the curves and their marks, the channels' status texts; and keeps a judged test's
// parameters as the next start-up's defaults. It only listens to the run's events and reads
// the typed tests: nothing it writes goes back into the run.
class RunPresenter : public QObject {
    Q_OBJECT
public:
    RunPresenter(RunEvents& events, const ChannelTests& tests, const SampleStore& samples,
                 PanelModel& panel, CurvePlotter& plotter, ShellModel& shell,
                 SettingsStore& settings, QObject* parent = nullptr);

private:
    void showStart(int k);
    void showSample(int k, int n);
    void showPeak(int k);
    void showSpark(int k, int n, int sparkNumber);
    void showPointA(int k, int n);
    void showJudged(int k, int n);
    void showInterrupted(int k);
    void showVerdict(int k);
    void keepBoxes(int k);
    void setStatus(int k, const QString& text);

    const ChannelTests& m_tests;
    const SampleStore& m_samples;
    PanelModel& m_panel;
    CurvePlotter& m_plotter;
    ShellModel& m_shell;
    SettingsStore& m_settings;
};

} // namespace q7rk
