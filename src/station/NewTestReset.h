#pragma once

#include "kinds/ChannelTest.h"

namespace q7rk {

class ChartSet;
class CurvePlotter;
class PanelModel;
class ShellModel;
class TestLifecycle;

// The reset of 新建, also run before every start once the operator said Yes: clears the
// readouts, results and status texts of channels 1..lastChannel+1, forgets their curves and
// frames their charts anew.
class NewTestReset {
public:
    NewTestReset(TestLifecycle& tests, ChannelModel& channels, PanelModel& panel, ShellModel& shell,
                 ChannelTests& runTests, CurvePlotter& plotter, ChartSet& charts)
        : m_tests(tests), m_channels(channels), m_panel(panel), m_shell(shell),
          m_runTests(runTests), m_plotter(plotter), m_charts(charts) {}
    void reset();

private:
    void clearResults(int k);

    TestLifecycle& m_tests;
    ChannelModel& m_channels;
    PanelModel& m_panel;
    ShellModel& m_shell;
    ChannelTests& m_runTests;
    CurvePlotter& m_plotter;
    ChartSet& m_charts;
};

} // namespace q7rk
