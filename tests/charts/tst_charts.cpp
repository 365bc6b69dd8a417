// Chart frames, scale commands, live curves and marks, readouts, bitmap export.
#include "charts/AxisFormat.h"
#include "charts/ChartExport.h"
#include "charts/ChartSet.h"
#include "charts/CursorReadout.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "support/TestStation.h"

#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <limits>
#include <optional>

using namespace q7rk;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);
const QColor Blue(0, 0, 255);
const QColor White(255, 255, 255);
const QString Canshu = QStringLiteral("canshu");
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

// step * i for i = first .. first + count - 1, as the labels print it.
QStringList series(int count, double step, int decimals, int first = 0) {
    QStringList out;
    for (int i = first; i < first + count; ++i)
        out << QString::number(step * i, 'f', decimals);
    return out;
}

// The texts printed at the cursor positions (x0 + dx * i, y0 + dy * i), i = 0 .. count - 1.
QStringList printedAlong(const ChartCanvas& c, int x0, int dx, int y0, int dy, int count) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << c.textsAt(QPointF(x0 + dx * i, y0 + dy * i)).join(QLatin1Char('|'));
    return out;
}

QColor pixel(const ChartCanvas& c, int xTwips, int yTwips) {
    return c.image().pixelColor(ChartCanvas::pixelOf(xTwips), ChartCanvas::pixelOf(yTwips));
}

bool hasColourNear(const ChartCanvas& c, double x, double y, const QColor& colour, int rows) {
    const int px = ChartCanvas::pixelOf(x);
    const int py = ChartCanvas::pixelOf(y);
    for (int dy = -rows; dy <= rows; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (c.image().pixelColor(px + dx, py + dy) == colour) return true;
    return false;
}

// Rows of column x (in twips) above the time axis holding the colour, outside three rows
// around y.
int strayPixels(const ChartCanvas& c, double x, double y, const QColor& colour, int axisY) {
    const int px = ChartCanvas::pixelOf(x);
    const int py = ChartCanvas::pixelOf(y);
    int stray = 0;
    for (int row = 0; row < ChartCanvas::pixelOf(axisY); ++row)
        stray += std::abs(row - py) > 3 && c.image().pixelColor(px, row) == colour;
    return stray;
}

// Columns holding the colour in both pictures, or -1 when the highest or lowest such row of
// a column differs by more than one row between them.
int columnsWithinARow(const QImage& a, const QImage& b, const QColor& colour) {
    int columns = 0;
    for (int x = 0; x < a.width(); ++x) {
        const auto extent = [&](const QImage& image) {
            QPoint rows(-9, -9);
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == colour) rows = QPoint(rows.x() < 0 ? y : rows.x(), y);
            return rows;
        };
        const QPoint off = extent(a) - extent(b);
        if (std::abs(off.x()) > 1 || std::abs(off.y()) > 1) return -1;
        columns += extent(a).x() >= 0;
    }
    return columns;
}

} // namespace

class TestCharts : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_r.reset();
        m_r.emplace();
        for (int k = 0; k < ChannelCount; ++k)
            m_r->panel.setText(k, Box::FormationVoltage, QStringLiteral("200"));
        m_r->charts.frameAll();
        m_running.fill(true); // as the live curves draw
    }

    void colourAndNumberFormats() {
        QCOMPARE(colourFromStored(16711680), QColor(0, 0, 255)); // red sits in the low byte
        QCOMPARE(colourToStored(QColor(255, 224, 192)), quint32(0x00C0E0FF));
        QCOMPARE(formatRounded(2.5, 0), QStringLiteral("3")); // halves away from zero
        QCOMPARE(formatRounded(-0.5, 0), QStringLiteral("-1"));
        QCOMPARE(formatRounded(0.15 * 3, 1), QStringLiteral("0.5")); // 0.4499999... in binary
        QCOMPARE(formatRounded(2, 1), QStringLiteral("2.0"));
        QCOMPARE(formatRounded(std::numeric_limits<double>::infinity(), 1), QStringLiteral("0.0"));
    }

    void channelFramePixelsAndLabels() {
        m_r->charts.frameChannelChart(4); // that a frame is announced: see the scale commands
        const ChartCanvas& c = m_r->charts.channelChart(4);
        const QColor bg(192, 255, 192);
        // The two-pixel axes start on the pixel holding the twip.
        QCOMPARE(c.image().pixelColor(400 / 15, 100), Red);
        QCOMPARE(c.image().pixelColor(400 / 15 + 1, 100), Red);
        QCOMPARE(c.image().pixelColor(400 / 15 - 1, 100), bg);

        // Dotted white grid: every third pixel from the line's start at the top, background
        // beside it.
        for (int y = 3240; y < 3560; y += 15) {
            QCOMPARE(pixel(c, 800, y) == White, y / 15 % 3 == 0);
            QCOMPARE(pixel(c, 800 + 15, y), bg);
        }

        m_r->channels.currentColour[0] = 0x00FF00;
        m_r->charts.frameChannelChart(0);
        const ChartCanvas& c1 = m_r->charts.channelChart(0);
        QCOMPARE(printedAlong(c1, 400, 400, 3600, 0, 12), series(12, 32, 0));
        QCOMPARE(printedAlong(c1, 50, 0, 3200, -400, 9), series(9, 30, 0, 1));
        QCOMPARE(printedAlong(c1, 4350, 0, 3200, -400, 9), series(9, 2, 1, 1));
        for (const auto& t : c1.printedTexts()) {
            if (t.text == QStringLiteral("电压")) QCOMPARE(t.colour, Red);
            if (t.text == QStringLiteral("电流-mA") || t.text == QStringLiteral("秒"))
                QCOMPARE(t.colour, QColor(0, 255, 0));
        }

        m_r->channels.timeScale[0] = 1.0f / 32;
        m_r->channels.setKind(0, TestKind::Electrolyte);
        m_r->panel.setText(0, Box::ElectrolyteSetVoltage, QStringLiteral("250"));
        m_r->charts.frameChannelChart(0);
        QCOMPARE(printedAlong(c1, 400, 400, 3600, 0, 12), series(12, 1, 0));
        QCOMPARE(printedAlong(c1, 50, 0, 3200, -400, 3), (QStringList{"38", "75", "113"}));
    }

    void groupFrames() {
        m_r->panel.setText(3, Box::FormationVoltage, QStringLiteral("400"));
        for (int n = 0; n < ChartSet::GroupChartCount; ++n)
            m_r->charts.frameGroupChart(n);

        const ChartCanvas& g0 = m_r->charts.groupChart(0);
        QCOMPARE(printedAlong(g0, 400, 400, 4000, 0, 33), series(33, 8, 0));
        QCOMPARE(printedAlong(g0, 50, 0, 3600, -400, 10), series(10, 30, 0, 1));
        QCOMPARE(printedAlong(m_r->charts.groupChart(1), 50, 0, 3600, -400, 2),
                 series(2, 60, 0, 1));

        // The 1-6 chart: the larger reference voltage over twice the height, 0..20 mA.
        const ChartCanvas& all = m_r->charts.groupChart(2);
        QCOMPARE(printedAlong(all, 50, 0, 7600, -400, 20), series(20, 30, 0, 1));
        QCOMPARE(printedAlong(all, 12800, 0, 7600, -400, 20), series(20, 1, 1, 1));
    }

    void scaleCommandsStoreTheirFactor() {
        QSignalSpy changed(&m_r->charts, &ChartSet::channelChartChanged);
        m_r->channels.timeScale = {0, 1.0f / 32, 32, 1, 0.5f, 64};
        m_r->charts.widenTimeAxes();
        QCOMPARE(changed.count(), 6);
        QCOMPARE(m_r->channels.timeScale, (PerChannel<float>{32, 1.0f / 16, 32, 2, 1, 32}));
        SettingsStore reread(m_r->settings.filePath()); // on disk at once
        QCOMPARE(reread.read(Canshu, QStringLiteral("hxfd(0)")), QStringLiteral("32"));

        m_r->channels.timeScale = {1.0f / 32, 32, 0, -1, 2, 1};
        m_r->charts.narrowTimeAxes();
        QCOMPARE(m_r->channels.timeScale,
                 (PerChannel<float>{1.0f / 32, 16, 1.0f / 32, 1.0f / 32, 1, 0.5f}));

        QSignalSpy groupChanged(&m_r->charts, &ChartSet::groupChartChanged);
        m_r->channels.groupTimeScale = 32;
        m_r->charts.narrowGroupTimeAxes();
        QCOMPARE(m_r->channels.groupTimeScale, 0.125f); // not 16
        QCOMPARE(groupChanged.count(), 3);
        QCOMPARE(SettingsStore(m_r->settings.filePath()).read(Canshu, QStringLiteral("hxfd16")),
                 QStringLiteral("0.125"));
        m_r->charts.widenGroupTimeAxes();
        QCOMPARE(m_r->channels.groupTimeScale, 0.25f);
        m_r->channels.groupTimeScale = 0;
        m_r->charts.widenGroupTimeAxes();
        QCOMPARE(m_r->channels.groupTimeScale, 32.0f);
    }

    void brokenScalesStillFrame() {
        m_r->channels.timeScale = {0, -1, NaN, std::numeric_limits<float>::infinity(), 0, 0};
        m_r->channels.groupTimeScale = NaN;
        m_r->charts.frameAll();
        QCOMPARE(m_r->charts.channelChart(0).textsAt(QPointF(800, 3600)), QStringList{"0"});
        QCOMPARE(m_r->charts.groupChart(0).textsAt(QPointF(800, 4000)), QStringList{"0"});
        // A curve computed from such a factor must not reach the picture either.
        m_r->charts.channelChart(0).drawLine(QPointF(NaN, 0), QPointF(1e300, -1e300), Red);

        m_r->charts.narrowTimeAxes();
        m_r->charts.narrowGroupTimeAxes();
        QCOMPARE(m_r->channels.timeScale[2], 1.0f / 32);
        QCOMPARE(m_r->channels.groupTimeScale, 0.125f);

        // Zero voltage box and factor: finite coordinates only.
        m_r->panel.setText(2, Box::FormationVoltage, QStringLiteral("0"));
        m_r->channels.timeScale[2] = 0;
        m_r->channels.groupTimeScale = NaN;
        m_r->plotter.plot(2, 7, 0, CurvePlotter::Stroke::Draw);
        QCOMPARE(m_r->plotter.channelY(2), 3600.0);
        m_r->samples.set(2, 8, 10, 0);
        m_r->plotter.plot(2, 8, 0, CurvePlotter::Stroke::Draw);
        QCOMPARE(m_r->plotter.channelY(2), 0.0);
        QVERIFY(std::isfinite(m_r->plotter.channelX(2, 8)));
        QVERIFY(std::isfinite(m_r->plotter.groupTipLabel(2).x()));
    }

    void plotStepPositionsAndPixels() {
        m_r->panel.clickOption(Option::TvTest, 0);
        m_r->panel.setText(3, Box::FormationVoltage,
                           QStringLiteral("400")); // item 3 scales the 1-6 chart
        m_r->channels.showCurrentCurve = true;
        QSignalSpy channelChanged(&m_r->charts, &ChartSet::channelChartChanged);
        QSignalSpy groupChanged(&m_r->charts, &ChartSet::groupChartChanged);
        QSignalSpy tips(&m_r->plotter, &CurvePlotter::tipLabelsMoved);
        for (int n = 1; n <= 101; ++n)
            m_r->samples.set(0, n, 150, 5);
        // Positions only: the next segment starts level.
        const QImage unstopped = m_r->charts.channelChart(0).image();
        m_r->plotter.plot(0, 99, 5, CurvePlotter::Stroke::PositionOnly);
        QCOMPARE(m_r->charts.channelChart(0).image(), unstopped);
        for (int n = 100; n <= 101; ++n)
            m_r->plotter.plot(0, n, n == 100 ? 5 : 25,
                              CurvePlotter::Stroke::Draw); // 25 mA is off the scale
        QCOMPARE(m_r->plotter.channelY(0), 1600.0);
        QCOMPARE(channelChanged.count(), 2);
        QCOMPARE(groupChanged.count(), 4); // TV16(0) and TV16(2) once per step
        QCOMPARE(tips.count(), 2);
        QCOMPARE(m_r->plotter.groupTipLabel(0), QPointF(400 + 101 * 50, 2000));

        const double x = m_r->plotter.channelX(0, 100.5);
        const ChartCanvas& tv = m_r->charts.channelChart(0);
        QVERIFY(hasColourNear(tv, x, 1600, Red, 1));
        QCOMPARE(strayPixels(tv, x, 1600, Red, 3600), 0);
        QVERIFY(hasColourNear(tv, x, 2600, Blue, 1)); // level with the last 5 mA point
        QVERIFY(
            hasColourNear(m_r->charts.groupChart(2), m_r->plotter.allX(0, 100.5), 6000, Red, 1));

        // Above 1.35 × Vf the curve runs along the top edge.
        m_r->samples.set(0, 102, 280, 1);
        m_r->plotter.plot(0, 102, 1, CurvePlotter::Stroke::Draw);
        QCOMPARE(m_r->plotter.channelY(0), 0.0);
        QVERIFY(hasColourNear(tv, m_r->plotter.channelX(0, 102), 0, Red, 0));

        // The first sample starts at the origin; channel 2 is green in its group chart.
        m_r->samples.set(1, 1, 150, 0);
        m_r->plotter.plot(1, 1, 0, CurvePlotter::Stroke::Draw);
        QCOMPARE(tips.count(), 3); // tips move from the second sample on
        QVERIFY(hasColourNear(m_r->charts.groupChart(0), 800 + 25, 3000, Green, 1));
    }

    void rescaleRedrawsFromTheStore() {
        for (int k = 0; k < 3; ++k)
            for (int n = 1; n <= 400; ++n)
                m_r->samples.set(k, n, 150 - 30 * k, 5);
        m_r->panel.setText(0, Box::RiseTime, QStringLiteral("100"));
        QSignalSpy channelChanged(&m_r->charts, &ChartSet::channelChartChanged);
        QSignalSpy groupChanged(&m_r->charts, &ChartSet::groupChartChanged);

        m_r->channels.groupTimeScale = 32;
        m_r->plotter.scrollWhenFull(0, 320, m_running);
        QCOMPARE(m_r->channels.timeScale[0], 1.0f);
        m_r->plotter.scrollWhenFull(0, 321, m_running);
        QCOMPARE(m_r->channels.timeScale[0], 2.0f);
        QCOMPARE(m_r->settings.read(Canshu, QStringLiteral("hxfd(0)")), QStringLiteral("2"));
        QCOMPARE(channelChanged.count(), 1); // frame and curve as one change
        const ChartCanvas& tv = m_r->charts.channelChart(0);
        QCOMPARE(tv.textsAt(QPointF(800, 3600)), QStringList{"64"});
        QVERIFY(hasColourNear(tv, m_r->plotter.channelX(0, 200.5), 1600, Red, 1));
        QCOMPARE(tv.textsAt(QPointF(m_r->plotter.channelX(0, 100), 1600)),
                 QStringList{QStringLiteral("A点")});

        // The comparison charts at 240 samples; a stopped channel never rescales.
        m_r->channels.timeScale.fill(32);
        m_r->channels.groupTimeScale = 1;
        m_r->plotter.scrollWhenFull(1, 240, m_running);
        m_running[1] = false;
        m_r->plotter.scrollWhenFull(1, 241, m_running);
        QCOMPARE(m_r->channels.groupTimeScale, 1.0f);
        QCOMPARE(groupChanged.count(), 0);
        m_running[1] = true;
        m_r->plotter.scrollWhenFull(1, 241, m_running);
        QCOMPARE(m_r->channels.groupTimeScale, 2.0f);
        QCOMPARE(groupChanged.count(), 3);
        QVERIFY(hasColourNear(m_r->charts.groupChart(0), m_r->plotter.groupX(1, 200.5), 2400, Green,
                              1));
    }

    // A long noisy curve, with a voltage that is not a number and currents off the scale,
    // drawn from its columns' extremes and through every sample: in every pixel column the
    // curve reaches as high and as low within a row. A short curve is drawn as ever.
    void longCurvesFromColumnExtremes() {
        m_r->channels.showCurrentCurve = true;
        m_r->channels.timeScale[1] = 32; // 6000 samples in 156 columns, 625 in the group chart
        m_r->channels.groupTimeScale = 32;
        quint32 seed = 7;
        const auto noise = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return double(seed >> 8) / (1 << 24) - 0.5;
        };
        for (int n = 1; n <= SampleStore::MaxSample; ++n)
            m_r->samples.set(1, n, float(150 + 100 * std::sin(n * 0.003) + 80 * noise()),
                             float(n % 397 == 0 ? 25 : 9 + 14 * noise()));
        m_r->samples.set(1, 2500, NaN, -1);
        m_r->plotter.plot(1, SampleStore::MaxSample, 0, CurvePlotter::Stroke::Draw);
        const auto drawn = [&](bool envelope) {
            m_r->plotter.setColumnEnvelopes(envelope);
            m_r->charts.frameChannelChart(1);
            m_r->plotter.redrawChannelCurves(1);
            m_r->charts.frameGroupChart(0);
            m_r->plotter.redrawComparisonCurves(0);
            return std::pair(m_r->charts.channelChart(1).image(),
                             m_r->charts.groupChart(0).image());
        };
        const auto [channel, group] = drawn(true);
        const auto [channelFull, groupFull] = drawn(false);
        QCOMPARE_GT(columnsWithinARow(channel, channelFull, Blue), 150);
        QCOMPARE_GT(columnsWithinARow(group, groupFull, Green), 600);

        m_r->plotter.forgetCurves(1);
        m_r->plotter.plot(1, 200, 0, CurvePlotter::Stroke::Draw);
        QVERIFY(drawn(true) == drawn(false));
    }

    // Framing again under the same scales puts back the kept frame where curves, marks and
    // labels were drawn: the picture is the frame drawn afresh, pixel for pixel, with its
    // texts, and the curves drawn on it again look as before.
    void framedAgainFromTheKeptFrame() {
        const ChartSet& charts = m_r->charts; // writing through image() spoils the kept frame
        m_r->channels.showCurrentCurve = true;
        m_r->plotter.setChannelChartScale(0, {7.5, 10});
        m_r->plotter.setGroupChartScale(2, {8.14, 8.85});
        for (int n = 1; n <= 300; ++n) {
            m_r->samples.set(0, n, float(150 + 40 * std::sin(n * 0.1)),
                             float(5 + 3 * std::cos(n * 0.2)));
            m_r->plotter.plot(0, n, m_r->samples.current(0, n), CurvePlotter::Stroke::Draw);
        }
        const auto frame = [&] {
            m_r->charts.frameChannelChart(0);
            m_r->charts.frameGroupChart(2);
            return std::pair(charts.channelChart(0).image(), charts.groupChart(2).image());
        };
        const auto redraw = [&] {
            const auto framed = frame();
            m_r->plotter.redrawChannelCurves(0);
            m_r->plotter.redrawComparisonCurves(2);
            m_r->plotter.markPointLine(0, 250, QStringLiteral("C点"));
            // Above the curves, each in tiles of its own.
            ChartCanvas::Painter painter(m_r->charts.channelChart(0));
            painter.text(QPointF(2000, 400), QStringLiteral("远"), Qt::black);
            const ChartCanvas::ColumnRun runs[] = {{400, 60, 60, 70, 70}, {401, 70, 62, 70, 62}};
            painter.columnRuns(runs, Blue, 2);
            painter.end();
            return std::pair(
                framed, std::pair(charts.channelChart(0).image(), charts.groupChart(2).image()));
        };
        const auto first = redraw();
        const auto second = redraw(); // the frame drawn twice running is kept
        const auto third = redraw();  // and put back
        QVERIFY(third.first == first.first);
        QVERIFY(third.second == first.second);
        QVERIFY(first.second.first != first.first.first); // curves and marks were drawn
        const ChartCanvas& tv = charts.channelChart(0);
        QCOMPARE(tv.textsAt(QPointF(m_r->plotter.channelX(0, 250), m_r->plotter.channelY(0))),
                 QStringList{QStringLiteral("C点")});
        QCOMPARE(tv.textsAt(QPointF(50, 3200)), QStringList{"30"});
        // A new reference voltage is another frame.
        m_r->panel.setText(0, Box::FormationVoltage, QStringLiteral("100"));
        frame();
        QCOMPARE(tv.textsAt(QPointF(50, 3200)), QStringList{"15"});
    }

    void marksPrintTheirLabels() {
        m_r->samples.set(0, 10, 150, 0);
        m_r->plotter.plot(0, 10, 0, CurvePlotter::Stroke::Draw);
        const double x = m_r->plotter.channelX(0, 10);
        m_r->plotter.markFirstSpark(0, 10);
        m_r->plotter.markPointTick(0, 10, QStringLiteral("B点"));
        m_r->plotter.markPointLine(0, 10, QStringLiteral("C点"));
        const ChartCanvas& tv = m_r->charts.channelChart(0);
        QCOMPARE(tv.textsAt(QPointF(x, 1600)), (QStringList{"11A", QStringLiteral("C点")}));
        QCOMPARE(tv.textsAt(QPointF(x, 1700)), QStringList{QStringLiteral("B点")});
        QVERIFY(hasColourNear(tv, x, 3000, Qt::black, 8)); // the dotted drop line

        m_r->plotter.markGroupTick(0, 10, QStringLiteral("A点"));
        m_r->plotter.markGroupDropLine(0, 10, QStringLiteral("1C点"));
        const double gx = m_r->plotter.groupX(0, 10);
        QCOMPARE(m_r->charts.groupChart(0).textsAt(QPointF(gx, 2100)), QStringList{"A点"});
        QCOMPARE(m_r->charts.groupChart(0).textsAt(QPointF(gx, 2000)), QStringList{"1C点"});
    }

    // A larger window: the picture is drawn again at its finer scale, the curve from the
    // store and the marks and frame from what the picture kept, each where the scale puts
    // its twips.
    void picturesRedrawnAtAFinerScale() {
        for (int n = 1; n <= 100; ++n) {
            m_r->samples.set(0, n, 150, 5);
            m_r->plotter.plot(0, n, 5, CurvePlotter::Stroke::Draw);
        }
        m_r->plotter.markPointLine(0, 100, QStringLiteral("C点"));
        const ChartCanvas& tv = m_r->charts.channelChart(0);
        const QColor background = tv.image().pixelColor(0, 0);
        m_r->plotter.setChannelChartScale(0, {7.5, 10});
        QCOMPARE(tv.image().size(), QSize(640, 400));
        const int row = ChartCanvas::pixelOf(1600, 10);
        const int end = ChartCanvas::pixelOf(m_r->plotter.channelX(0, 100), 7.5);
        QCOMPARE(
            tv.image().pixelColor(ChartCanvas::pixelOf(m_r->plotter.channelX(0, 90), 7.5), row),
            Red);
        QCOMPARE(tv.image().pixelColor(end + 2, row), background);
        int dots = 0; // of the dotted drop line, every third row up from the axis
        for (int y = row; y <= ChartCanvas::pixelOf(3600, 10); ++y)
            dots += tv.image().pixelColor(end, y) == QColor(Qt::black);
        QCOMPARE_GE(dots, (360 - 160) / 3);
        QCOMPARE(tv.textsAt(QPointF(m_r->plotter.channelX(0, 100), 1600)), QStringList{"C点"});
        QCOMPARE(tv.textsAt(QPointF(50, 3200)), QStringList{"30"});
    }

    // 对齐起点: channels 2 and 3 move left by their offsets (400 and 800 twips) with their
    // curves and marks, and back; the offset view marks each channel's zero in its colour.
    void alignedStartsMoveChannelsByTheirOffsets() {
        const QColor colours[] = {Red, Green, Blue};
        const double volts[] = {150, 120, 90}; // y 2000, 2400, 2800 in the group chart
        for (int k = 0; k < 3; ++k)
            for (int n = 1; n <= 20; ++n) {
                m_r->samples.set(k, n, float(volts[k]), 0);
                m_r->plotter.plot(k, n, 0, CurvePlotter::Stroke::Draw);
            }
        m_r->plotter.markGroupDropLine(2, 20, QStringLiteral("3C点"));
        const ChartCanvas& group = m_r->charts.groupChart(0);
        double offsetEnds[3];
        for (int k = 0; k < 3; ++k) {
            offsetEnds[k] = m_r->plotter.groupX(k, 19.5);
            QVERIFY(hasColourNear(group, offsetEnds[k], 2000 + 400 * k, colours[k], 1));
        }
        QCOMPARE(pixel(group, 800, 3950), Green);
        QCOMPARE(pixel(group, 1200, 3950), Blue);

        m_r->plotter.setAlignedStarts(true);
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(m_r->plotter.groupX(k, 19.5), offsetEnds[k] - 400 * k);
            QVERIFY(hasColourNear(group, offsetEnds[k] - 400 * k, 2000 + 400 * k, colours[k], 1));
        }
        QVERIFY(!hasColourNear(group, offsetEnds[2], 2800, Blue, 2));
        QVERIFY(pixel(group, 1200, 3950) != Blue);
        QCOMPARE(group.textsAt(QPointF(m_r->plotter.groupX(2, 20), 2800)), QStringList{"3C点"});

        m_r->plotter.setAlignedStarts(false);
        QVERIFY(hasColourNear(group, offsetEnds[2], 2800, Blue, 1));
        QCOMPARE(group.textsAt(QPointF(offsetEnds[2] + 25, 2800)), QStringList{"3C点"});
    }

    // A point inside a chart and the tabs' charts are read out by the window's own test.
    void readouts() {
        QCOMPARE(channelReadout(QPointF(4400, 0), 1, 200),
                 QStringLiteral("鼠标点：320S 270.0V, 18.0mA "));
        QCOMPARE(groupReadout(2, QPointF(800, 4000), 2, 200),
                 QStringLiteral("鼠标点：16S 150.0V, 10.0mA "));
        QVERIFY(!chartVisibilityForTab(5)); // a tab without charts
    }

    void bitmapExport() {
        ScriptedPrompter prompter;
        const QString tv1 = m_r->path(QStringLiteral("a.bmp"));
        const QString tv3 = m_r->path(QStringLiteral("c.bmp"));
        const QString broken = m_r->path(QStringLiteral("missing/x.bmp"));
        for (const QString& name : {tv1, QString(), tv3, broken})
            prompter.queueFileName(name);
        // The last two dialogs accept their proposed names, in the working folder. A chart
        // the window shows larger is saved at its own size.
        const QSize standard = m_r->charts.channelChart(0).image().size();
        m_r->plotter.setChannelChartScale(0, {7.5, 7.5});
        saveChartsAsBitmaps(
            m_r->charts, prompter, QDate(2026, 12, 6),
            [this](const ChartCanvas& c) { return m_r->plotter.standardPicture(c); });

        QStringList proposed;
        for (const auto& s : prompter.shown())
            if (s.kind == ScriptedPrompter::Shown::SaveDialog) proposed << s.text;
        QCOMPARE(proposed, (QStringList{"2026-12-6-TV1.bmp", "2026-12-6-TV2.bmp",
                                        "2026-12-6-TV3.bmp", "2026-12-6-TV16-0.bmp",
                                        "2026-12-6-TV16-1.bmp", "2026-12-6-TV16-2.bmp"}));
        QCOMPARE(QImage(tv1).size(), standard);
        QVERIFY(QFileInfo::exists(tv3));
        QVERIFY(!QFileInfo::exists(m_r->path(QStringLiteral("2026-12-6-TV2.bmp"))));
        QCOMPARE(prompter.texts(), QStringList{QStringLiteral("图片保存失败：") + broken});
    }

private:
    // The station's charts and what they draw from, fresh for each test.
    struct Rig : testing::TestStation {
        SampleStore& samples = station.samples();
        CurvePlotter& plotter = station.plotter();
    };
    std::optional<Rig> m_r;
    PerChannel<bool> m_running{}; // the channels the run samples
};

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
