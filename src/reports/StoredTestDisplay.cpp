#include "reports/StoredTestDisplay.h"

#include "charts/ChartSet.h"
#include "charts/CurveColours.h"
#include "charts/CurvePlotter.h"
#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "results/PanelRecord.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SampleStore.h"
#include "shell/Prompter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace q7rk {

namespace {

constexpr double AxisX = 400;
constexpr double ChannelAxisY = 3600;
constexpr double GroupAxisY = 4000;
constexpr double AllAxisY = 8000;
constexpr int AllChart = 2;

// The live curves' pens.
using namespace curvecolours;

// A time as the live evaluation counts it, within the samples a test can have.
int sampleSeconds(double value) {
    return std::clamp(wholeSeconds(value), 0, int(SampleStore::MaxSample));
}

// A box of a stored test as its record holds it; a blank counts as 0.
double storedNumber(const StoredTest& test, Box box) {
    return parseNumber(test.value(storedField(test.kind, box))).value_or(0);
}

// The samples a stored test ran, from its record's length fields.
int storedLength(const StoredTest& test) {
    const int n = testLength(test.kind, [&test](Box box) { return storedNumber(test, box); });
    return std::min(n, int(SampleStore::MaxSample));
}

QString numbered(const QString& number) {
    return QStringLiteral("测试编号为 ") + number + QStringLiteral(" 的");
}

} // namespace

int displayChannel(int slot, DisplayGroup group) {
    const int first = group == DisplayGroup::Channels46 ? ChannelsPerGroup : 0;
    const int last = group == DisplayGroup::Channels13 ? ChannelsPerGroup - 1 : ChannelCount - 1;
    return slot >= first && slot <= last ? slot : first;
}

int nextDisplaySlot(int channel) {
    return channel + 1 >= ChannelCount ? 0 : channel + 1;
}

float displayTimeScale(int samples) {
    if (samples < 10) return 1.0f / 32;
    float scale = 1.0f / 16;
    for (int bound = 20; samples >= bound && scale < 32; bound *= 2)
        scale *= 2;
    return scale;
}

StoredTestDisplay::StoredTestDisplay(PanelModel& panel, ChannelModel& channels,
                                     const ChannelTests& runs, ChartSet& charts,
                                     CurvePlotter& plotter, SampleStore& samples,
                                     const ResultStore& store, Prompter& prompter)
    : m_panel(panel), m_channels(channels), m_runs(runs), m_charts(charts), m_plotter(plotter),
      m_samples(samples), m_store(store), m_prompter(prompter) {}

void StoredTestDisplay::report(DisplayOutcome& outcome, const QString& text) {
    outcome.message = text;
    m_prompter.inform(programTitle::full(), text);
}

DisplayOutcome StoredTestDisplay::show(const DisplayRequest& request) {
    DisplayOutcome out;
    // A display switches the group's kind and overwrites a channel's samples: during a run
    // that would change the test being measured.
    if (std::any_of(m_runs.begin(), m_runs.end(),
                    [](const ChannelTest& t) { return !t.stopped; })) {
        report(out, QStringLiteral("测试正在进行，请在测试结束后再显示记录！"));
        return out;
    }
    const auto test = m_store.load(request.kind, request.key);
    if (!test) {
        report(out, numbered(shownKey(request.key)) + QStringLiteral("记录无法读取，请重新查询！"));
        return out;
    }

    return showTest(displayChannel(request.slot, request.group), *test, request.group);
}

DisplayOutcome StoredTestDisplay::showTest(int k, const StoredTest& test) {
    return showTest(k, test,
                    k < ChannelsPerGroup ? DisplayGroup::Channels13 : DisplayGroup::Channels46);
}

DisplayOutcome StoredTestDisplay::showTest(int k, const StoredTest& test, DisplayGroup group) {
    DisplayOutcome out;
    out.channel = k;
    selectKind(test.kind, group);
    m_charts.frameChannelChart(k);
    showStoredTest(m_panel, k, test);

    const QStringList fields = fieldNames(test.kind);
    for (int i = 0; i < fields.size(); ++i) {
        const QString value = test.values.value(i);
        if (fieldType(test.kind, i) == FieldType::Number && !value.trimmed().isEmpty() &&
            !parseNumber(value)) {
            report(out, numbered(test.testNumber()) + QStringLiteral("记录中“") + fields[i] +
                            QStringLiteral("”不是数值，无法显示曲线！"));
            return out;
        }
    }
    const int n = storedLength(test);
    out.samples = n;
    frameCharts(k, n);

    out.drawn = fillSamples(k, test, n);
    drawCurves(k, out.drawn);
    drawMarks(k, test, n, out.drawn);

    if (out.drawn == n) {
        out.complete = true;
    } else if (test.curve.empty()) {
        report(out, numbered(test.testNumber()) + QStringLiteral("曲线数据不存在！"));
    } else if (out.drawn < int(test.curve.size())) {
        report(out, numbered(test.testNumber()) + QStringLiteral("曲线数据第 ") +
                        QString::number(out.drawn + 1) + QStringLiteral(" 点不是数值！"));
    } else {
        report(out, numbered(test.testNumber()) + QStringLiteral("曲线数据只有 ") +
                        QString::number(out.drawn) + QStringLiteral(" 点，少于测试长度 ") +
                        QString::number(n) + QStringLiteral(" 点！"));
    }
    return out;
}

void StoredTestDisplay::showPlantCurve(int k, std::span<const float> columns) {
    if (k < 0 || k >= ChannelCount || columns.empty()) return;
    // Column j is drawn j seconds in: the last one is where the test ends.
    m_channels.timeScale[k] = displayTimeScale(int(columns.size()) - 1);
    m_charts.frameChannelChart(k);
    m_plotter.drawStoredCurve(k, columns);
}

void StoredTestDisplay::selectKind(TestKind kind, DisplayGroup group) {
    const Option option = description(kind).option;
    if (group != DisplayGroup::Channels46) m_panel.clickOption(option, 0);
    if (group != DisplayGroup::Channels13) m_panel.clickOption(option, 1);
}

// The channel chart takes the scale that fits the test; the comparison charts are cleared
// when the first channel of their group is shown.
void StoredTestDisplay::frameCharts(int k, int n) {
    m_channels.timeScale[k] = displayTimeScale(n);
    m_charts.frameChannelChart(k);
    if (k == 0) {
        m_charts.frameGroupChart(0);
        m_charts.frameGroupChart(AllChart);
    } else if (k == ChannelsPerGroup) {
        m_charts.frameGroupChart(1);
    }
}

int StoredTestDisplay::fillSamples(int k, const StoredTest& test, int n) {
    m_samples.clear(k);
    const int available = std::min(n, int(test.curve.size()));
    for (int i = 1; i <= available; ++i) {
        const CurvePoint& p = test.curve[std::size_t(i - 1)];
        if (!std::isfinite(p.volts) || !std::isfinite(p.milliamperes)) return i - 1;
        m_samples.set(k, i, float(p.volts), float(p.milliamperes));
    }
    return available;
}

void StoredTestDisplay::positionAt(int k, int i) {
    m_plotter.plot(k, i, m_samples.current(k, i), CurvePlotter::Stroke::PositionOnly);
}

// The whole curve in one stroke per chart, at the positions the live plot step computes.
void StoredTestDisplay::drawCurves(int k, int drawn) {
    const bool withCurrent = m_channels.showCurrentCurve;
    std::vector<QPointF> voltage{QPointF(AxisX, ChannelAxisY)};
    std::vector<QPointF> current{QPointF(AxisX, ChannelAxisY)};
    std::vector<QPointF> group{QPointF(m_plotter.groupX(k, 0), GroupAxisY)};
    std::vector<QPointF> all{QPointF(m_plotter.allX(k, 0), AllAxisY)};
    const std::size_t points = std::size_t(drawn) + 1;
    voltage.reserve(points);
    group.reserve(points);
    all.reserve(points);
    if (withCurrent) current.reserve(points);
    for (int i = 1; i <= drawn; ++i) {
        positionAt(k, i);
        voltage.emplace_back(m_plotter.channelX(k, i), m_plotter.channelY(k));
        group.emplace_back(m_plotter.groupX(k, i), m_plotter.groupY(k));
        all.emplace_back(m_plotter.allX(k, i), m_plotter.allY(k));
        if (withCurrent) current.emplace_back(m_plotter.channelX(k, i), m_plotter.currentY(k));
    }
    if (drawn > 0) {
        // From the store, where the samples now are: a window that changes the charts' scale
        // draws them again from there.
        using ChartCanvas::Source::Samples;
        const auto draw = [k](ChartCanvas& chart, const std::vector<QPointF>& points,
                              const QColor& colour, int width) {
            ChartCanvas::Painter painter(chart, Samples);
            painter.setChannel(k);
            painter.polyline(points, colour, width);
        };
        draw(m_charts.channelChart(k), voltage, VoltageRed, 1);
        if (withCurrent) draw(m_charts.channelChart(k), current, CurrentBlue, 2);
        draw(m_charts.groupChart(groupOf(k)), group, groupColour(k), 1);
        draw(m_charts.groupChart(AllChart), all, allColour(k), 1);
    }
    emit m_charts.channelChartChanged(k);
    emit m_charts.groupChartChanged(groupOf(k));
    emit m_charts.groupChartChanged(AllChart);
}

void StoredTestDisplay::drawMarks(int k, const StoredTest& test, int n, int drawn) {
    const TestKind kind = test.kind;
    // Point A of a TV test and the first spark of an electrolyte test, where the live run
    // marks them: right after the sample they belong to.
    const std::optional<Box> firstPoint = description(kind).firstPointBox;
    const int t = firstPoint ? sampleSeconds(storedNumber(test, *firstPoint)) : 0;
    if (t >= 1 && t <= drawn) {
        positionAt(k, t);
        switch (kind) {
        case TestKind::Tv:
            m_plotter.markGroupTick(k, t, QStringLiteral("A点"));
            m_plotter.markPointLine(k, t + 1, QStringLiteral("A点"));
            break;
        case TestKind::Leakage:
            break;
        case TestKind::Electrolyte:
            m_plotter.markFirstSpark(k, t);
            break;
        }
    }
    // The newest sample drawn as the live step draws it: the tip labels move to it.
    if (drawn >= 1) {
        if (drawn > 1) positionAt(k, drawn - 1);
        m_plotter.plot(k, drawn, m_samples.current(k, drawn), CurvePlotter::Stroke::Draw);
    }

    // The end of the test: a TV test ends only after point A and a delay, an electrolyte
    // test only after its first spark; a curve that breaks off has no end to mark.
    bool endReached = false;
    switch (kind) {
    case TestKind::Tv:
        endReached = t >= 1 && storedNumber(test, Box::DelayTime) > 0;
        break;
    case TestKind::Leakage:
        endReached = true;
        break;
    case TestKind::Electrolyte:
        endReached = t >= 1;
        break;
    }
    const bool ended = n >= 1 && drawn == n && endReached;
    if (!ended) return;
    if (description(kind).marksPeakWhenShown) {
        // The peak as the sampling tick tracks it: the first maximum after the settling.
        int peakIndex = 0;
        float peak = 0;
        for (int i = FirstJudgedSample; i <= n; ++i) {
            if (m_samples.voltage(k, i) > peak) {
                peak = m_samples.voltage(k, i);
                peakIndex = i;
            }
        }
        m_plotter.markPointTick(k, peakIndex, QStringLiteral("B点"));
    }
    m_plotter.markPointLine(k, n + 1, QStringLiteral("C点"));
    m_plotter.markGroupDropLine(k, n + 1, QString::number(k + 1) + QStringLiteral("C点"));
}

} // namespace q7rk
