#pragma once

#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <optional>
#include <span>

namespace q7rk {

class ChartSet;
class CurvePlotter;
class PanelModel;
class Prompter;
class ResultStore;
class SampleStore;
struct StoredTest;

// The channels a display may fill, as the query window's list "显示通道" offers them:
// "1-3通道" channels 1-3, "4-6通道" channels 4-6, "1-6通道" all six.
enum class DisplayGroup { Channels13, Channels46, Channels16 };

// The channel that receives the next displayed test: the slot counter when it lies in the
// group, else the group's first channel (so "1-3通道" wraps from channel 3 back to 1).
int displayChannel(int slot, DisplayGroup group);
// The slot counter after a display into channel k: k + 1, back to 0 after channel 6.
int nextDisplaySlot(int channel);

// The time-axis factor that fits a test of n samples into chart TV(k): 1/32 below 10 s,
// doubling with every doubling of n, 32 from 5120 s on.
float displayTimeScale(int samples);

// What the query window hands over when the operator asks to see a stored test.
struct DisplayRequest {
    TestKind kind = TestKind::Tv;
    TestKey key;
    int slot = 0; // the window's slot counter
    DisplayGroup group = DisplayGroup::Channels13;
};

struct DisplayOutcome {
    int channel = -1;      // the channel shown into; -1 when nothing was changed
    int samples = 0;       // test length n: the samples the display meant to draw
    int drawn = 0;         // samples drawn
    bool complete = false; // everything read and drawn
    QString message;       // what the operator was told; empty when all went well
};

// The recall of a stored test into the main window: the group's kind switch, the channel's
// boxes, its time scale fitted to the test's length, the samples into the sample store and
// the curve redrawn in TV(k) and the comparison charts with the marks where the live run
// puts them (A, B, C of a TV test, C of a leakage test, the first spark and C of an
// electrolyte test). A test that cannot be read to the end is reported and the window is
// left as far as the display got.
class StoredTestDisplay {
public:
    // `runs`: a display waits for the run to end.
    StoredTestDisplay(PanelModel& panel, ChannelModel& channels, const ChannelTests& runs,
                      ChartSet& charts, CurvePlotter& plotter, SampleStore& samples,
                      const ResultStore& store, Prompter& prompter);

    DisplayOutcome show(const DisplayRequest& request);
    // A test already read (a recovered one) into channel k, the same way; the caller makes
    // sure no run is going.
    DisplayOutcome showTest(int k, const StoredTest& test);
    // The curve of a foil's piece from the plant into chart TV(k) alone, its columns as the
    // plant keeps them: the chart framed to show it whole (at the time axis a new test has,
    // a curve of minutes would run off the chart after ten seconds), the panel and the
    // samples left as they are.
    void showPlantCurve(int k, std::span<const float> columns);

private:
    DisplayOutcome showTest(int k, const StoredTest& test, DisplayGroup group);
    void selectKind(TestKind kind, DisplayGroup group);
    // Test length n(k) from the boxes just written (whole seconds).
    void frameCharts(int k, int n);
    // Samples 1..n into the store; the number of samples usable before a gap or a value
    // that is no number.
    int fillSamples(int k, const StoredTest& test, int n);
    void drawCurves(int k, int drawn);
    void drawMarks(int k, const StoredTest& test, int n, int drawn);
    // Puts the plotter's newest-point positions of channel k at sample i without drawing.
    void positionAt(int k, int i);
    void report(DisplayOutcome& outcome, const QString& text);

    PanelModel& m_panel;
    ChannelModel& m_channels;
    const ChannelTests& m_runs;
    ChartSet& m_charts;
    CurvePlotter& m_plotter;
    SampleStore& m_samples;
    const ResultStore& m_store;
    Prompter& m_prompter;
};

} // namespace q7rk
