#include "charts/CurvePlotter.h"

#include "charts/ChartSet.h"
#include "charts/CurveColours.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/TimeScale.h"

#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <vector>

namespace q7rk {

namespace {

constexpr double AxisX = 400;
constexpr double ChannelAxisY = 3600;       // time axis of TV(k)
constexpr double GroupAxisY = 4000;         // time axis of TV16(0), TV16(1)
constexpr double AllAxisY = 8000;           // time axis of TV16(2)
constexpr double ChannelVoltageSpan = 4000; // 1.5 × Vref over this many twips
constexpr double MarkHalf = 100;            // half length of the short vertical marks
constexpr int AllChart = 2;
constexpr int Channel4 = 3; // item 3 of a box scales the 1-6 chart
constexpr quint8 AllChannels = 0x3F;

using namespace curvecolours;
const QColor MarkBlack(0, 0, 0);

// A factor that is zero, negative or not a number would put the curve at infinity; such
// a factor is brought back by the next scale command, until then the curve uses 1.
double usableScale(float s) {
    return std::isfinite(s) && s > 0 ? double(s) : 1.0;
}

// y of voltage v on a chart whose time axis is at `axisY` and where 1.5 × vref lies `span`
// twips higher, clamped to the plot area. A zero reference voltage sends every positive
// voltage to the top, a zero voltage on it stays on the axis.
double voltageY(double v, double vref, double axisY, double span) {
    const double y = axisY - v / (1.5 * vref) * span;
    if (std::isnan(y)) return axisY;
    return std::clamp(y, 0.0, axisY);
}

// y of a current in TV(k) (20 mA over 4000 twips); off the scale the previous point stays.
bool onCurrentScale(double milliamps) {
    const double y = (0.9 - milliamps / 20) * 4000;
    return y >= -400 && y <= ChannelAxisY; // false for a value that is not a number
}
double currentYOr(double milliamps, double previousY) {
    return onCurrentScale(milliamps) ? (0.9 - milliamps / 20) * 4000 : previousY;
}

// How the samples of one curve become y: `y(value, previous y)`, and whether every value
// of a column's range maps on its own and in order, so that the range's ends are the
// column's highest and lowest points.
struct VoltageMap {
    VoltageMap(double vref, double axisY, double span)
        : vref(vref), axisY(axisY), span(span), perVolt(span / (1.5 * vref)) {}
    double vref;
    double axisY;
    double span;
    double perVolt;
    static double value(const SampleStore& s, int k, int i) { return s.voltage(k, i); }
    static SampleStore::Range range(const SampleStore& s, int k, int first, int last) {
        return s.voltageRange(k, first, last);
    }
    double y(double v, double) const { return voltageY(v, vref, axisY, span); }
    // The same within rounding, without a division: for the many points of the columns.
    double quickY(double v) const {
        const double y = axisY - v * perVolt;
        return std::isnan(y) ? axisY : std::clamp(y, 0.0, axisY);
    }
    static bool plain(double low, double high) { return std::isfinite(low) && std::isfinite(high); }
};

// The current curve of TV(k): a value off the scale keeps the previous point, so a column
// holding one is traced sample by sample.
struct CurrentMap {
    static double value(const SampleStore& s, int k, int i) { return s.current(k, i); }
    static SampleStore::Range range(const SampleStore& s, int k, int first, int last) {
        return s.currentRange(k, first, last);
    }
    static double y(double milliamps, double previousY) { return currentYOr(milliamps, previousY); }
    static double quickY(double milliamps) { return ChannelAxisY - milliamps * 200; }
    static bool plain(double low, double high) {
        return onCurrentScale(low) && onCurrentScale(high);
    }
};

bool validChannel(int k) {
    return k >= 0 && k < ChannelCount;
}

} // namespace

CurvePlotter::CurvePlotter(ChartSet& charts, ChannelModel& channels, const PanelModel& panel,
                           const SampleStore& store, SettingsStore& settings, QObject* parent)
    : QObject(parent), m_charts(charts), m_channels(channels), m_panel(panel), m_store(store),
      m_settings(settings) {
    resetForRun();
    for (int k = 0; k < ChannelCount; ++k) {
        m_groupTip[k] = QPointF(groupStart(k), GroupAxisY);
        m_allTip[k] = QPointF(allStart(k), AllAxisY);
    }
}

double CurvePlotter::groupStart(int k) const {
    return m_charts.startX(groupOf(k), k);
}

double CurvePlotter::allStart(int k) const {
    return m_charts.startX(AllChart, k);
}

void CurvePlotter::forgetCurves(int k) {
    if (validChannel(k)) m_shown[k] = 0;
}

void CurvePlotter::redrawChannelCurves(int k) {
    if (!validChannel(k)) return;
    redrawChannelChart(m_charts.channelChart(k), k, m_shown[k] + 1, true);
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::redrawComparisonCurves(int n) {
    if (n < 0 || n >= ChartSet::GroupChartCount) return;
    redrawComparisonChart(m_charts.groupChart(n), n, AllChannels);
    emit m_charts.groupChartChanged(n);
}

// Point A is among the marks the picture keeps: only the curve is drawn again.
void CurvePlotter::drawSampleCurves(ChartCanvas& target, const ChartCanvas& chart,
                                    quint8 channels) {
    for (int k = 0; k < ChannelCount; ++k)
        if (&chart == &m_charts.channelChart(k)) {
            if (channels & (1u << k)) redrawChannelChart(target, k, m_shown[k] + 1, false);
            return;
        }
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        if (&chart == &m_charts.groupChart(n)) redrawComparisonChart(target, n, channels);
}

void CurvePlotter::setChannelChartScale(int k, ChartCanvas::Scale scale) {
    if (!validChannel(k) || m_charts.channelChart(k).scale() == scale) return;
    ChartCanvas& chart = m_charts.channelChart(k);
    chart.rescale(scale, [&](quint8 channels) { drawSampleCurves(chart, chart, channels); });
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::setGroupChartScale(int n, ChartCanvas::Scale scale) {
    if (n < 0 || n >= ChartSet::GroupChartCount || m_charts.groupChart(n).scale() == scale) return;
    ChartCanvas& chart = m_charts.groupChart(n);
    chart.rescale(scale, [&](quint8 channels) { drawSampleCurves(chart, chart, channels); });
    emit m_charts.groupChartChanged(n);
}

QImage CurvePlotter::standardPicture(const ChartCanvas& chart) {
    if (chart.scale() == ChartCanvas::Scale{}) return chart.image();
    ChartCanvas copy = chart;
    copy.rescale({}, [&](quint8 channels) { drawSampleCurves(copy, chart, channels); });
    return copy.image();
}

// The comparison charts framed anew, with or without each channel's own zero, the curves
// from their new starts and the marks moved with their curves.
void CurvePlotter::setAlignedStarts(bool on) {
    if (on == m_charts.alignedStarts()) return;
    PerChannel<double> groupShift{};
    PerChannel<double> allShift{};
    for (int k = 0; k < ChannelCount; ++k) {
        groupShift[k] = -groupStart(k);
        allShift[k] = -allStart(k);
    }
    m_charts.setAlignedStarts(on);
    for (int k = 0; k < ChannelCount; ++k) {
        groupShift[k] += groupStart(k);
        allShift[k] += allStart(k);
        m_groupTip[k].rx() += groupShift[k];
        m_allTip[k].rx() += allShift[k];
    }
    {
        const QSignalBlocker quiet(&m_charts);
        for (int n = 0; n < ChartSet::GroupChartCount; ++n) {
            ChartCanvas& chart = m_charts.groupChart(n);
            const auto& shift = n == AllChart ? allShift : groupShift;
            chart.reframeKeeping(
                [&] { m_charts.frameGroupChart(n); },
                [&](quint8 channels) { redrawComparisonChart(chart, n, channels); },
                [&](int k) { return validChannel(k) ? shift[k] : 0.0; });
        }
    }
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        emit m_charts.groupChartChanged(n);
    for (int k = 0; k < ChannelCount; ++k)
        if (m_shown[k] > 1) emit tipLabelsMoved(k);
}

void CurvePlotter::resetForRun() {
    m_channelY.fill(ChannelAxisY);
    m_groupY.fill(GroupAxisY);
    m_allY.fill(AllAxisY);
    m_currentY.fill(ChannelAxisY);
}

Box CurvePlotter::voltageBox(int k) const {
    const int group = groupOf(k);
    for (TestKind kind : allKinds())
        if (m_panel.option(description(kind).option, group)) return description(kind).voltageBox;
    // No kind chosen for the group: the channel's own.
    return description(m_channels.kind(k)).voltageBox;
}

double CurvePlotter::referenceVoltage(int k) const {
    return m_panel.number(k, voltageBox(k));
}

double CurvePlotter::referenceVoltageAll(int k) const {
    return m_panel.number(Channel4, voltageBox(k));
}

int CurvePlotter::firstCharacteristicTime(int k) const {
    const std::optional<Box> box = description(m_channels.kind(k)).firstPointBox;
    if (!box) return 0;
    const double t = m_panel.number(k, *box);
    return std::isfinite(t) && t >= 1 && t <= m_store.lastSample() ? int(std::lround(t)) : 0;
}

double CurvePlotter::channelX(int k, double n) const {
    return AxisX + n * 12.5 / usableScale(m_channels.timeScale[k]);
}

double CurvePlotter::groupX(int k, double n) const {
    return groupStart(k) + n * 50 / usableScale(m_channels.groupTimeScale);
}

double CurvePlotter::allX(int k, double n) const {
    return allStart(k) + n * 50 / usableScale(m_channels.groupTimeScale);
}

double CurvePlotter::channelY(int k) const {
    return m_channelY[k];
}
double CurvePlotter::groupY(int k) const {
    return m_groupY[k];
}
double CurvePlotter::allY(int k) const {
    return m_allY[k];
}
double CurvePlotter::currentY(int k) const {
    return m_currentY[k];
}
QPointF CurvePlotter::groupTipLabel(int k) const {
    return m_groupTip[k];
}
QPointF CurvePlotter::allTipLabel(int k) const {
    return m_allTip[k];
}

void CurvePlotter::plot(int k, int n, double current, Stroke stroke) {
    if (!validChannel(k) || n < 0 || n > m_store.lastSample()) return;
    const double v = m_store.voltage(k, n);
    const double previousChannel = m_channelY[k];
    const double previousGroup = m_groupY[k];
    const double previousAll = m_allY[k];
    const double previousCurrent = m_currentY[k];
    const double vref = referenceVoltage(k);
    m_channelY[k] = voltageY(v, vref, ChannelAxisY, ChannelVoltageSpan);
    m_groupY[k] = voltageY(v, vref, GroupAxisY, GroupAxisY);
    m_allY[k] = voltageY(v, referenceVoltageAll(k), AllAxisY, AllAxisY);
    m_currentY[k] = currentYOr(current, previousCurrent);
    if (stroke == Stroke::PositionOnly) return;

    m_shown[k] = n;
    drawChannelStep(k, n, previousChannel, previousCurrent);
    drawComparisonStep(k, n, previousGroup, previousAll);
    emit m_charts.channelChartChanged(k);
    emit m_charts.groupChartChanged(groupOf(k));
    emit m_charts.groupChartChanged(AllChart);
    if (n > 1) emit tipLabelsMoved(k);
}

void CurvePlotter::drawChannelStep(int k, int n, double previousY, double previousCurrentY) {
    const bool first = n <= 1; // the first segment starts at the origin of the axes
    const QPointF origin(AxisX, ChannelAxisY);
    const double x = channelX(k, n);
    const double previousX = channelX(k, n - 1);
    ChartCanvas::Painter painter(m_charts.channelChart(k), ChartCanvas::Source::Samples);
    painter.setChannel(k);
    painter.line(first ? origin : QPointF(previousX, previousY), QPointF(x, m_channelY[k]),
                 VoltageRed, 1);
    if (m_channels.showCurrentCurve) {
        painter.line(first ? origin : QPointF(previousX, previousCurrentY),
                     QPointF(x, m_currentY[k]), CurrentBlue, 2);
    }
}

void CurvePlotter::drawComparisonStep(int k, int n, double previousGroupY, double previousAllY) {
    const bool first = n <= 1;
    const QPointF groupPoint(groupX(k, n), m_groupY[k]);
    const QPointF allPoint(allX(k, n), m_allY[k]);
    const QPointF groupFrom =
        first ? QPointF(groupStart(k), GroupAxisY) : QPointF(groupX(k, n - 1), previousGroupY);
    const QPointF allFrom =
        first ? QPointF(allStart(k), AllAxisY) : QPointF(allX(k, n - 1), previousAllY);
    {
        ChartCanvas::Painter group(m_charts.groupChart(groupOf(k)), ChartCanvas::Source::Samples);
        group.setChannel(k);
        group.line(groupFrom, groupPoint, groupColour(k), 1);
    }
    ChartCanvas::Painter all(m_charts.groupChart(AllChart), ChartCanvas::Source::Samples);
    all.setChannel(k);
    all.line(allFrom, allPoint, allColour(k), 1);
    if (!first) {
        m_groupTip[k] = groupPoint;
        m_allTip[k] = allPoint;
    }
}

void CurvePlotter::markFirstSpark(int k, int n) {
    if (!validChannel(k)) return;
    const QPointF at(channelX(k, n), m_channelY[k]);
    {
        ChartCanvas::Painter painter(m_charts.channelChart(k));
        painter.line(QPointF(at.x(), ChannelAxisY), at, MarkBlack, 1, Qt::DotLine);
        painter.text(at, QString::number(k + 1) + QStringLiteral("1A"), MarkBlack);
    }
    // The spark in the 1-6 chart: a short red stroke across the curve.
    const double x = allX(k, n);
    ChartCanvas::Painter all(m_charts.groupChart(AllChart));
    all.setChannel(k);
    all.line(QPointF(x, m_allY[k] + MarkHalf), QPointF(x, m_allY[k] - MarkHalf), VoltageRed, 1);
    all.end();
    emit m_charts.channelChartChanged(k);
    emit m_charts.groupChartChanged(AllChart);
}

void CurvePlotter::markPointTick(int k, int n, const QString& label) {
    if (!validChannel(k)) return;
    const double x = channelX(k, n);
    const double y = m_channelY[k];
    ChartCanvas::Painter painter(m_charts.channelChart(k));
    painter.line(QPointF(x, y - MarkHalf), QPointF(x, y + MarkHalf), MarkBlack, 1, Qt::DotLine);
    if (!label.isEmpty()) painter.text(QPointF(x, y + MarkHalf), label, MarkBlack);
    painter.end();
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::markPointLine(int k, int n, const QString& label) {
    if (!validChannel(k)) return;
    const QPointF at(channelX(k, n), m_channelY[k]);
    ChartCanvas::Painter painter(m_charts.channelChart(k));
    painter.line(QPointF(at.x(), ChannelAxisY), at, MarkBlack, 1, Qt::DotLine);
    if (!label.isEmpty()) painter.text(at, label, MarkBlack);
    painter.end();
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::markGroupTick(int k, int n, const QString& label) {
    if (!validChannel(k)) return;
    const int group = groupOf(k);
    {
        const double x = groupX(k, n);
        const double y = m_groupY[k];
        ChartCanvas::Painter painter(m_charts.groupChart(group));
        painter.setChannel(k);
        painter.line(QPointF(x, y - MarkHalf), QPointF(x, y + MarkHalf), MarkBlack, 1, Qt::DotLine);
        if (!label.isEmpty()) painter.text(QPointF(x, y + MarkHalf), label, MarkBlack);
    }
    const double x = allX(k, n);
    ChartCanvas::Painter all(m_charts.groupChart(AllChart));
    all.setChannel(k);
    all.line(QPointF(x, m_allY[k] - MarkHalf), QPointF(x, m_allY[k] + MarkHalf), MarkBlack, 1,
             Qt::DotLine);
    all.end();
    emit m_charts.groupChartChanged(group);
    emit m_charts.groupChartChanged(AllChart);
}

void CurvePlotter::markGroupDropLine(int k, int n, const QString& label) {
    if (!validChannel(k)) return;
    const int group = groupOf(k);
    const QPointF at(groupX(k, n), m_groupY[k]);
    ChartCanvas::Painter painter(m_charts.groupChart(group));
    painter.setChannel(k);
    painter.line(QPointF(at.x(), GroupAxisY), at, MarkBlack, 1, Qt::DotLine);
    if (!label.isEmpty()) painter.text(at, label, MarkBlack);
    painter.end();
    emit m_charts.groupChartChanged(group);
}

void CurvePlotter::scrollWhenFull(int k, int n, const PerChannel<bool>& running) {
    if (!validChannel(k) || !running[k]) return;
    // The running channels have their curves drawn up to the newest sample, n - 1.
    const int newest = std::clamp(n - 1, 0, m_store.lastSample());
    for (int c = std::max<int>(m_channels.firstChannel, 0);
         c <= std::min<int>(m_channels.lastChannel, ChannelCount - 1); ++c)
        if (running[c]) m_shown[c] = std::max(m_shown[c], newest);
    // 320 samples fill the 4000 twips of TV(k) at factor 1, 240 the comparison charts.
    if (n > 320 * m_channels.timeScale[k])
        rescaleChannelChart(k, n);
    else if (n > 240 * m_channels.groupTimeScale)
        rescaleComparisonCharts();
}

void CurvePlotter::drawStoredCurve(int k, std::span<const float> columns) {
    if (!validChannel(k) || columns.empty()) return;
    const double vref = m_panel.number(k, Box::FormationVoltage);
    std::vector<QPointF> points{QPointF(AxisX, ChannelAxisY)};
    points.reserve(columns.size());
    double y = ChannelAxisY;
    for (std::size_t j = 0; j < columns.size(); ++j) {
        // Without a usable formation voltage y is not a number: that part is not drawn.
        y = (0.9 - double(columns[j]) / (1.5 * vref)) * ChannelVoltageSpan;
        if (j > 0) points.emplace_back(channelX(k, double(j)), y);
    }
    if (std::isfinite(y)) m_channelY[k] = y;
    if (points.size() < 2) return;
    {
        ChartCanvas::Painter painter(m_charts.channelChart(k));
        painter.polyline(points, VoltageRed, 1);
    }
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::rescaleChannelChart(int k, int n) {
    float& scale = m_channels.timeScale[k];
    scale = enlargedTimeScale(scale);
    m_settings.write(section::Canshu, indexedKey(QString::fromUtf8(key::TimeScale), k),
                     formatSingle(scale));
    {
        // The frame and the curves reach the window as one change.
        const QSignalBlocker quiet(&m_charts);
        m_charts.frameChannelChart(k);
        redrawChannelChart(m_charts.channelChart(k), k, n, true);
    }
    emit m_charts.channelChartChanged(k);
}

void CurvePlotter::rescaleComparisonCharts() {
    float& scale = m_channels.groupTimeScale;
    scale = enlargedGroupTimeScale(scale);
    m_settings.write(section::Canshu, QString::fromUtf8(key::GroupTimeScale), formatSingle(scale));
    {
        const QSignalBlocker quiet(&m_charts);
        for (int chart = 0; chart < ChartSet::GroupChartCount; ++chart) {
            m_charts.frameGroupChart(chart);
            redrawComparisonChart(m_charts.groupChart(chart), chart, AllChannels);
        }
    }
    for (int chart = 0; chart < ChartSet::GroupChartCount; ++chart)
        emit m_charts.groupChartChanged(chart);
}

// Samples 0 .. n − 1 from the store: the curves start at the origin like the live ones.
void CurvePlotter::redrawChannelChart(ChartCanvas& chart, int k, int n, bool withPointA) {
    const int last = std::min(n - 1, m_store.lastSample());
    if (last < 0) return;
    const double vref = referenceVoltage(k);
    const SampleTrace trace{QPointF(AxisX, ChannelAxisY), AxisX, 12.5,
                            usableScale(m_channels.timeScale[k])};
    ChartCanvas::Painter painter(chart, ChartCanvas::Source::Samples);
    painter.setChannel(k);
    drawCurve(painter, chart, trace, k, last, VoltageMap{vref, ChannelAxisY, ChannelVoltageSpan},
              VoltageRed, 1);
    if (m_channels.showCurrentCurve)
        drawCurve(painter, chart, trace, k, last, CurrentMap{}, CurrentBlue, 2);

    const int t = firstCharacteristicTime(k);
    if (withPointA && t >= 1 && t <= last) {
        const QPointF at(channelX(k, t),
                         voltageY(m_store.voltage(k, t), vref, ChannelAxisY, ChannelVoltageSpan));
        painter.line(QPointF(at.x(), ChannelAxisY), at, MarkBlack, 1, Qt::DotLine);
        painter.text(at, QStringLiteral("A点"), MarkBlack);
    }
}

// Every curve the chart showed (of the channels given), each up to the last sample drawn
// of its channel.
void CurvePlotter::redrawComparisonChart(ChartCanvas& canvas, int chart, quint8 channels) {
    if (chart < 0 || chart >= ChartSet::GroupChartCount) return;
    ChartCanvas::Painter painter(canvas, ChartCanvas::Source::Samples);
    const bool all = chart == AllChart;
    const double axisY = all ? AllAxisY : GroupAxisY;
    const double scale = usableScale(m_channels.groupTimeScale);
    for (int k = 0; k < ChannelCount; ++k) {
        const int last = std::min(m_shown[k], m_store.lastSample());
        if (last < 1 || (!all && groupOf(k) != chart) || !(channels & (1u << k))) continue;
        const double start = all ? allStart(k) : groupStart(k);
        const SampleTrace trace{QPointF(start, axisY), start, 50, scale};
        const double vref = all ? referenceVoltageAll(k) : referenceVoltage(k);
        painter.setChannel(k);
        drawCurve(painter, canvas, trace, k, last, VoltageMap{vref, axisY, axisY},
                  all ? allColour(k) : groupColour(k), 1);
    }
}

template <class Map>
void CurvePlotter::drawCurve(ChartCanvas::Painter& painter, const ChartCanvas& chart,
                             const SampleTrace& trace, int k, int last, const Map& map,
                             const QColor& colour, int width) {
    // Several samples to a column on average: then every column of the curve holds one.
    const int columns = chart.image().width();
    const bool dense = chart.scale().x * trace.scale >= trace.perSample;
    if (m_columnEnvelopes && dense && last >= columns) {
        traceColumns(chart.scale(), trace, k, last, columns, map);
        painter.columnRuns(m_runs, colour, width);
        return;
    }
    m_curve.assign(1, trace.origin);
    double y = trace.origin.y(); // a current off the scale holds the point before
    for (int i = 1; i <= last; ++i) {
        y = map.y(map.value(m_store, k, i), y);
        m_curve.emplace_back(trace.x(i), y);
    }
    painter.polyline(m_curve, colour, width);
}

// Each pixel column's run of samples cut to the rows of its first and last sample and its
// lowest and highest point, read from the store's ranges: all a column shows, for a cost
// that hardly grows with the test's length. Columns past `columns` (the picture's right
// edge) are left out but for the one the line leaves by.
template <class Map>
void CurvePlotter::traceColumns(ChartCanvas::Scale scale, const SampleTrace& trace, int k, int last,
                                int columns, const Map& map) {
    const auto columnOf = [&](double x) { return ChartCanvas::pixelOf(x, scale.x); };
    const auto pixelOf = [&](double y) { return ChartCanvas::pixelOf(y, scale.y); };
    m_runs.clear();
    const auto add = [this](int column, int entry, int top, int bottom, int exit) {
        if (m_runs.empty() || m_runs.back().column != column) {
            m_runs.push_back({column, entry, top, bottom, exit});
            return;
        }
        ChartCanvas::ColumnRun& run = m_runs.back();
        run.top = std::min(run.top, top);
        run.bottom = std::max(run.bottom, bottom);
        run.exit = exit;
    };
    double y = trace.origin.y();
    const int originRow = pixelOf(y);
    add(columnOf(trace.origin.x()), originRow, originRow, originRow, originRow);
    const double perTwip = trace.scale / trace.perSample; // samples
    int column = columnOf(trace.x(1));
    for (int first = 1; first <= last; ++column) {
        // The last sample left of the next column's edge.
        const double edge = scale.x * (column + 1) - trace.x0;
        const int through = std::clamp(int(std::ceil(edge * perTwip)) - 1, first, last);
        const auto [low, high] = map.range(m_store, k, first, through);
        if (map.plain(low, high)) {
            const int entry = pixelOf(map.quickY(map.value(m_store, k, first)));
            const int a = pixelOf(map.quickY(low));
            const int b = pixelOf(map.quickY(high));
            y = map.quickY(map.value(m_store, k, through));
            const int exit = pixelOf(y);
            add(column, entry, std::min({a, b, entry, exit}), std::max({a, b, entry, exit}), exit);
        } else {
            for (int i = first; i <= through; ++i) {
                y = map.y(map.value(m_store, k, i), y);
                const int row = pixelOf(y);
                add(column, row, row, row, row);
            }
        }
        if (column > columns) break;
        first = through + 1; // in the next column: there is a sample in every one
    }
}

} // namespace q7rk
