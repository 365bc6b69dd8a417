#pragma once

namespace q7rk {

struct ChannelModel;
class ChartSet;
class CurvePlotter;
class Evaluator;
class PanelModel;
class ShellModel;
class TestLifecycle;

// The reset of 新建, also run before every start once the operator said Yes: clears the
// readouts, results and status texts of channels 1..lastChannel+1, forgets their curves and
// frames their charts anew.
class NewTestReset {
public:
    NewTestReset(TestLifecycle& tests, ChannelModel& channels, PanelModel& panel, ShellModel& shell,
                 Evaluator& evaluator, CurvePlotter& plotter, ChartSet& charts)
        : m_tests(tests), m_channels(channels), m_panel(panel), m_shell(shell),
          m_evaluator(evaluator), m_plotter(plotter), m_charts(charts) {}
    void reset();

private:
    void clearResults(int k);

    TestLifecycle& m_tests;
    ChannelModel& m_channels;
    PanelModel& m_panel;
    ShellModel& m_shell;
    Evaluator& m_evaluator;
    CurvePlotter& m_plotter;
    ChartSet& m_charts;
};

} // namespace q7rk
