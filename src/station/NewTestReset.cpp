#include "NewTestReset.h"

#include "kinds/TestKindDescription.h"

#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/TimeScale.h"
#include "shell/ShellModel.h"
#include "station/TestLifecycle.h"

namespace q7rk {

using enum Box;

void NewTestReset::reset() {
    m_tests.clear(m_channels.firstChannel, m_channels.lastChannel);
    for (int k = 0; k <= m_channels.lastChannel && k < ChannelCount; ++k) {
        m_channels.rawVoltage[k] = 0;
        m_channels.rawCurrent[k] = 0;
        m_channels.timeScale[k] = DefaultTimeScale;
        m_channels.groupTimeScale = DefaultGroupTimeScale;

        for (Box b : {LiveVoltage, LiveCurrent, Readout49, Readout50, Readout51, Readout52})
            m_panel.setText(k, b, QStringLiteral("0"));
        clearResults(k);

        m_runTests[k].clearMeasurements();
        m_plotter.forgetCurves(k);
        m_charts.frameChannelChart(k);
        if (k < ChartSet::GroupChartCount) m_charts.frameGroupChart(k);
    }
}

// The result boxes of the channel's kind wait for a verdict again.
void NewTestReset::clearResults(int k) {
    const TestKindDescription& kind = description(m_channels.kind(k));
    for (Box b : kind.resultBoxes)
        m_panel.setText(k, b, QStringLiteral("0"));
    m_panel.setText(k, kind.verdictBox, QStringLiteral("待定"));
    m_shell.setStatusText(k + 1,
                          ShellModel::channelStatus(k, QString::fromUtf8(kind.closedPhrase)));
}

} // namespace q7rk
