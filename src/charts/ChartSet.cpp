#include "charts/ChartSet.h"

#include "charts/AxisFormat.h"
#include "charts/CurveColours.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/TimeScale.h"

#include <algorithm>

namespace q7rk {

namespace {

constexpr int AxisX = 400;    // the voltage axis; left of it are the value labels
constexpr int LineStep = 400; // one grid division
constexpr int LeftLabelX = 50;

constexpr int ChannelChartWidth = 4800;
constexpr int ChannelChartHeight = 4000;
constexpr int ChannelPlotHeight = 3600;
constexpr int ChannelGridRight = 4400;
constexpr int GroupChartWidth = 13200;
constexpr int GroupChartHeight = 4400;
constexpr int AllChartHeight = 8800;
constexpr int AllChart = 2; // TV16(2), channels 1-6

const QColor AxisRed(255, 0, 0);
const QColor GridWhite(255, 255, 255);
const QColor LabelBlack(0, 0, 0);
// The comparison charts have no colour of their own; light grey keeps the white grid visible.
const QColor GroupBackground(224, 224, 224);

// Light orange, green and blue for the charts of the first, second and third channel of a
// group.
QColor channelBackground(int k) {
    switch (k % ChannelsPerGroup) {
    case 0:
        return QColor(255, 224, 192);
    case 1:
        return QColor(192, 255, 192);
    default:
        return QColor(192, 192, 255);
    }
}

int groupPlotHeight(int n) {
    return n == AllChart ? 8000 : 4000;
}

} // namespace

ChartSet::ChartSet(ChannelModel& channels, const PanelModel& panel, SettingsStore& settings,
                   QObject* parent)
    : QObject(parent), m_channels(channels), m_panel(panel), m_settings(settings) {
    for (int k = 0; k < ChannelCount; ++k) {
        m_channelCharts[k] = std::make_unique<ChartCanvas>(ChannelChartWidth, ChannelChartHeight,
                                                           channelBackground(k));
    }
    for (int n = 0; n < GroupChartCount; ++n) {
        const QRect place = groupChartPlacement(n);
        m_groupCharts[n] =
            std::make_unique<ChartCanvas>(place.width(), place.height(), GroupBackground);
    }
}

ChartSet::~ChartSet() = default;

ChartCanvas& ChartSet::channelChart(int k) {
    return *m_channelCharts.at(k);
}
const ChartCanvas& ChartSet::channelChart(int k) const {
    return *m_channelCharts.at(k);
}
ChartCanvas& ChartSet::groupChart(int n) {
    return *m_groupCharts.at(n);
}
const ChartCanvas& ChartSet::groupChart(int n) const {
    return *m_groupCharts.at(n);
}

QRect ChartSet::channelChartPlacement(int k) {
    const int column = k % ChannelsPerGroup;
    const int top = k < ChannelsPerGroup ? 600 : 5280;
    return QRect(50 + ChannelChartWidth * column, top, ChannelChartWidth, ChannelChartHeight);
}

QRect ChartSet::groupChartPlacement(int n) {
    const int top = n == 1 ? 5200 : 400;
    const int height = n == AllChart ? AllChartHeight : GroupChartHeight;
    return QRect(400, top, GroupChartWidth, height);
}

double ChartSet::referenceVoltage(int k) const {
    return q7rk::referenceVoltage(m_panel, k);
}

double ChartSet::groupReferenceVoltage(int n) const {
    if (n == AllChart) return std::max(referenceVoltage(0), referenceVoltage(firstOfGroup(1)));
    return referenceVoltage(firstOfGroup(n));
}

void ChartSet::drawFrame(ChartCanvas::Painter& canvas, const Frame& f) {
    const int h = f.plotHeight;
    for (int i = 0; i <= f.lastTimeLine; ++i) {
        const int x = AxisX + LineStep * i;
        canvas.text(QPointF(x, h), formatRounded(f.secondsUnit * i * f.timeScale, 0), LabelBlack);
        canvas.line(QPointF(x, 0), QPointF(x, h), GridWhite, 1, Qt::DotLine);
    }
    canvas.line(QPointF(AxisX, 0), QPointF(AxisX, h), AxisRed, 2);
    canvas.line(QPointF(AxisX, h), QPointF(f.gridRight, h), AxisRed, 2);
}

// Everything a frame is drawn from; with the chart's scale it decides every pixel.
QByteArray ChartSet::frameKey(const Frame& f, QRgb titleColour, bool channelZeros) {
    QByteArray key;
    const auto add = [&key](auto value) {
        key.append(reinterpret_cast<const char*>(&value), sizeof value);
    };
    add(f.plotHeight);
    add(f.gridRight);
    add(f.lastTimeLine);
    add(f.secondsUnit);
    add(f.timeScale);
    add(f.referenceVoltage);
    add(f.voltageDivisor);
    add(f.milliampsPerLine);
    add(f.rightLabelX);
    add(titleColour);
    add(channelZeros);
    return key;
}

void ChartSet::frameChannelChart(int k) {
    const Frame frame{.plotHeight = ChannelPlotHeight,
                      .gridRight = ChannelGridRight,
                      .lastTimeLine = 11,
                      .secondsUnit = 32,
                      .timeScale = m_channels.timeScale[k],
                      .referenceVoltage = referenceVoltage(k),
                      .voltageDivisor = 20,
                      .milliampsPerLine = 2,
                      .rightLabelX = 4350};
    const QColor titleColour = colourFromStored(m_channels.currentColour[k]);
    const QByteArray key = frameKey(frame, titleColour.rgb(), false);
    if (channelChart(k).restoreFrame(key)) {
        emit channelChartChanged(k);
        return;
    }
    channelChart(k).clear();
    ChartCanvas::Painter canvas(channelChart(k));
    drawFrame(canvas, frame);

    canvas.text(QPointF(400, 150), QStringLiteral("电压"), AxisRed);
    canvas.text(QPointF(4000, 150), QStringLiteral("电流-mA"), titleColour);
    canvas.text(QPointF(4450, 3450), QStringLiteral("秒"), titleColour);

    drawValueGrid(canvas, frame);
    canvas.end();
    channelChart(k).markFramed(key);
    emit channelChartChanged(k);
}

void ChartSet::frameGroupChart(int n) {
    const int h = groupPlotHeight(n);
    const bool all = n == AllChart;
    const double vref = groupReferenceVoltage(n);
    const Frame frame{.plotHeight = h,
                      .gridRight = GroupChartWidth,
                      .lastTimeLine = 32,
                      .secondsUnit = 8,
                      .timeScale = m_channels.groupTimeScale,
                      .referenceVoltage = vref,
                      .voltageDivisor = all ? 40 : 20,
                      .milliampsPerLine = all ? 1 : 2,
                      .rightLabelX = 12800};
    const QByteArray key = frameKey(frame, 0, !m_alignedStarts);
    if (groupChart(n).restoreFrame(key)) {
        emit groupChartChanged(n);
        return;
    }
    groupChart(n).clear();
    ChartCanvas::Painter canvas(groupChart(n));
    drawFrame(canvas, frame);
    canvas.text(QPointF(12800, h - 150), QStringLiteral("秒"), AxisRed);
    drawValueGrid(canvas, frame);
    if (!m_alignedStarts) drawChannelZeros(canvas, n, h);
    canvas.end();
    groupChart(n).markFramed(key);
    emit groupChartChanged(n);
}

// Channels 2 and 3 (5 and 6; 2 to 6 in the 1-6 chart) start one and two divisions to the
// right: read against the time labels their curves would seem late. A short tick on the
// axis and the channel number above it show where each one's time begins.
void ChartSet::drawChannelZeros(ChartCanvas::Painter& canvas, int n, int h) const {
    constexpr int TickHeight = 150;
    const bool all = n == AllChart;
    for (int k = all ? 0 : firstOfGroup(n); k < (all ? ChannelCount : firstOfGroup(n) + ChannelsPerGroup);
         ++k) {
        const QColor colour = all ? curvecolours::allColour(k) : curvecolours::groupColour(k);
        const double x = startX(n, k);
        canvas.line(QPointF(x, h - TickHeight), QPointF(x, h), colour, 2);
        canvas.text(QPointF(x + 40, h - TickHeight - 150), QString::number(k + 1), colour);
    }
}

double ChartSet::startX(int n, int k) const {
    if (m_alignedStarts) return AxisX;
    return n == AllChart ? LineStep * (k + 1) : LineStep * (k % ChannelsPerGroup + 1);
}

void ChartSet::setAlignedStarts(bool on) {
    if (on == m_alignedStarts) return;
    m_alignedStarts = on;
    emit alignedStartsChanged(on);
}

void ChartSet::drawValueGrid(ChartCanvas::Painter& canvas, const Frame& f) {
    const int h = f.plotHeight;
    for (int i = 1; i <= h / LineStep; ++i) {
        const int y = h - LineStep * i;
        canvas.text(QPointF(LeftLabelX, y),
                    formatRounded(f.referenceVoltage * i * 3 / f.voltageDivisor, 0), LabelBlack);
        canvas.text(QPointF(f.rightLabelX, y), formatRounded(f.milliampsPerLine * i, 1),
                    LabelBlack);
        canvas.line(QPointF(AxisX, y), QPointF(f.gridRight, y), GridWhite, 1, Qt::DotLine);
    }
}

void ChartSet::frameAll() {
    for (int k = 0; k < ChannelCount; ++k)
        frameChannelChart(k);
    for (int n = 0; n < GroupChartCount; ++n)
        frameGroupChart(n);
}

void ChartSet::storeTimeScale(int k) {
    m_settings.write(section::Canshu, indexedKey(QString::fromUtf8(key::TimeScale), k),
                     formatSingle(m_channels.timeScale[k]));
}

void ChartSet::storeGroupTimeScale() {
    m_settings.write(section::Canshu, QString::fromUtf8(key::GroupTimeScale),
                     formatSingle(m_channels.groupTimeScale));
}

void ChartSet::widenTimeAxes() {
    SettingsStore::Batch batch(m_settings);
    for (int k = 0; k < ChannelCount; ++k) {
        m_channels.timeScale[k] = enlargedTimeScale(m_channels.timeScale[k]);
        storeTimeScale(k);
        frameChannelChart(k);
    }
}

void ChartSet::narrowTimeAxes() {
    SettingsStore::Batch batch(m_settings);
    for (int k = 0; k < ChannelCount; ++k) {
        m_channels.timeScale[k] = shrunkTimeScale(m_channels.timeScale[k]);
        storeTimeScale(k);
        frameChannelChart(k);
    }
}

void ChartSet::widenGroupTimeAxes() {
    m_channels.groupTimeScale = enlargedGroupTimeScale(m_channels.groupTimeScale);
    storeGroupTimeScale();
    for (int n = 0; n < GroupChartCount; ++n)
        frameGroupChart(n);
}

void ChartSet::narrowGroupTimeAxes() {
    m_channels.groupTimeScale = shrunkGroupTimeScale(m_channels.groupTimeScale);
    storeGroupTimeScale();
    for (int n = 0; n < GroupChartCount; ++n)
        frameGroupChart(n);
}

} // namespace q7rk
