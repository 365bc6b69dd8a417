#include "charts/AxisFormat.h"
#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "settings/SettingsStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <memory>

using namespace q7rk;

namespace {

const QColor Red(255, 0, 0);
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

} // namespace

class TestCharts : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_charts.reset();
        m_panel.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_channels = ChannelModel{};
        m_store = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("s.ini")));
        m_panel = std::make_unique<PanelModel>(m_channels, *m_store);
        for (int k = 0; k < ChannelCount; ++k)
            m_panel->setText(k, Box::Text1, QStringLiteral("200"));
        m_charts = std::make_unique<ChartSet>(m_channels, *m_panel, *m_store);
    }

    void colourAndNumberFormats() {
        QCOMPARE(colourFromStored(16711680), QColor(0, 0, 255)); // red sits in the low byte
        QCOMPARE(colourToStored(QColor(255, 224, 192)), quint32(0x00C0E0FF));
        QCOMPARE(formatRounded(2.5, 0), QStringLiteral("3")); // halves away from zero
        QCOMPARE(formatRounded(-0.5, 0), QStringLiteral("-1"));
        QCOMPARE(formatRounded(-0.4, 0), QStringLiteral("0"));
        QCOMPARE(formatRounded(11264, 0), QStringLiteral("11264"));
        QCOMPARE(formatRounded(0.15 * 3, 1), QStringLiteral("0.5")); // 0.4499999... in binary
        QCOMPARE(formatRounded(2, 1), QStringLiteral("2.0"));
        QCOMPARE(formatRounded(std::numeric_limits<double>::infinity(), 1), QStringLiteral("0.0"));
    }

    void channelFramePixelsAndLabels() {
        QCOMPARE(ChartSet::channelChartPlacement(5), QRect(9650, 5280, 4800, 4000));
        QSignalSpy changed(m_charts.get(), &ChartSet::channelChartChanged);
        m_charts->zb(4);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toInt(), 4);

        const ChartCanvas& c = m_charts->channelChart(4);
        const QColor bg(192, 255, 192);
        QCOMPARE(c.image().size(), QSize(320, 266));
        // The two-pixel axes start on the pixel holding the twip.
        QCOMPARE(c.image().pixelColor(400 / 15, 100), Red);
        QCOMPARE(c.image().pixelColor(400 / 15 + 1, 100), Red);
        QCOMPARE(c.image().pixelColor(400 / 15 - 1, 100), bg);
        QCOMPARE(pixel(c, 2000, 3600), Red);
        QCOMPARE(pixel(c, 600, 1000), bg);

        // Dotted white grid: about one pixel in three along each line, background beside it.
        for (int x = 800; x <= 4000; x += 400) { // the current labels cross the line at 4400
            int white = 0;
            for (int y = 3240; y < 3560; y += 15) {
                white += pixel(c, x, y) == White;
                QCOMPARE(pixel(c, x + 15, y), bg);
            }
            QVERIFY2(white > 3 && white < 16, qPrintable(QString::number(x)));
        }
        for (int y = 3200; y >= 0; y -= 400) {
            int white = 0;
            for (int x = 1000; x < 4000; x += 15)
                white += pixel(c, x, y) == White;
            QVERIFY2(white > 40 && white < 160, qPrintable(QString::number(y)));
        }

        // The labels, on channel 1's chart.
        m_channels.currentColour[0] = 0x00FF00;
        m_charts->zb(0);
        const ChartCanvas& c1 = m_charts->channelChart(0);
        QCOMPARE(printedAlong(c1, 400, 400, 3600, 0, 12), series(12, 32, 0));
        QCOMPARE(printedAlong(c1, 50, 0, 3200, -400, 9), series(9, 30, 0, 1));
        QCOMPARE(printedAlong(c1, 4350, 0, 3200, -400, 9), series(9, 2, 1, 1));
        for (const auto& t : c1.printedTexts()) {
            if (t.text == QStringLiteral("电压")) QCOMPARE(t.colour, Red);
            if (t.text == QStringLiteral("电流-mA") || t.text == QStringLiteral("秒"))
                QCOMPARE(t.colour, QColor(0, 255, 0));
        }
        QCOMPARE(c1.textsAt(QPointF(4450, 3450)), QStringList{QStringLiteral("秒")});

        m_channels.timeScale[0] = 1.0f / 32;
        m_channels.setKind(0, TestKind::Electrolyte);
        m_panel->setText(0, Box::Text18, QStringLiteral("250"));
        m_charts->zb(0);
        QCOMPARE(printedAlong(c1, 400, 400, 3600, 0, 12), series(12, 1, 0));
        QCOMPARE(printedAlong(c1, 50, 0, 3200, -400, 3), (QStringList{"38", "75", "113"}));
    }

    void groupFrames() {
        m_panel->setText(3, Box::Text1, QStringLiteral("400"));
        QSignalSpy changed(m_charts.get(), &ChartSet::groupChartChanged);
        for (int n = 0; n < ChartSet::GroupChartCount; ++n)
            m_charts->zb16(n);
        QCOMPARE(changed.count(), 3);

        const ChartCanvas& g0 = m_charts->groupChart(0);
        QCOMPARE(printedAlong(g0, 400, 400, 4000, 0, 33), series(33, 8, 0));
        QCOMPARE(printedAlong(g0, 50, 0, 3600, -400, 10), series(10, 30, 0, 1));
        QCOMPARE(printedAlong(m_charts->groupChart(1), 50, 0, 3600, -400, 2), series(2, 60, 0, 1));
        QCOMPARE(g0.textsAt(QPointF(12800, 3850)), QStringList{QStringLiteral("秒")});
        QCOMPARE(pixel(g0, 8000, 4000), Red);

        // The 1-6 chart: the larger reference voltage over twice the height, 0..20 mA.
        const ChartCanvas& all = m_charts->groupChart(2);
        QCOMPARE(all.image().size(), QSize(880, 586));
        QCOMPARE(printedAlong(all, 50, 0, 7600, -400, 20), series(20, 30, 0, 1));
        QCOMPARE(printedAlong(all, 12800, 0, 7600, -400, 20), series(20, 1, 1, 1));
        QCOMPARE(all.textsAt(QPointF(12800, 7850)), QStringList{QStringLiteral("秒")});
        QCOMPARE(pixel(all, 6000, 8000), Red);
    }

    void scaleCommandsStoreTheirFactor() {
        QSignalSpy changed(m_charts.get(), &ChartSet::channelChartChanged);
        m_channels.timeScale = {0, 1.0f / 32, 32, 1, 0.5f, 64};
        m_charts->hf();
        QCOMPARE(changed.count(), 6);
        QCOMPARE(m_channels.timeScale, (PerChannel<float>{32, 1.0f / 16, 32, 2, 1, 32}));
        SettingsStore reread(m_store->filePath()); // on disk at once
        QCOMPARE(reread.read(Canshu, QStringLiteral("hxfd(0)")), QStringLiteral("32"));
        QCOMPARE(reread.read(Canshu, QStringLiteral("hxfd(1)")), QStringLiteral("0.0625"));
        QCOMPARE(m_charts->channelChart(3).textsAt(QPointF(800, 3600)), QStringList{"64"});

        m_channels.timeScale = {1.0f / 32, 32, 0, -1, 2, 1};
        m_charts->hs();
        QCOMPARE(m_channels.timeScale,
                 (PerChannel<float>{1.0f / 32, 16, 1.0f / 32, 1.0f / 32, 1, 0.5f}));
        QCOMPARE(m_store->read(Canshu, QStringLiteral("hxfd(0)")), QStringLiteral("0.03125"));

        QSignalSpy groupChanged(m_charts.get(), &ChartSet::groupChartChanged);
        m_channels.groupTimeScale = 32;
        m_charts->hs16();
        QCOMPARE(m_channels.groupTimeScale, 0.125f); // not 16
        QCOMPARE(groupChanged.count(), 3);
        QCOMPARE(SettingsStore(m_store->filePath()).read(Canshu, QStringLiteral("hxfd16")),
                 QStringLiteral("0.125"));
        QCOMPARE(m_charts->groupChart(2).textsAt(QPointF(800, 8000)), QStringList{"1"});
        m_charts->hf16();
        QCOMPARE(m_channels.groupTimeScale, 0.25f);
        m_channels.groupTimeScale = 0;
        m_charts->hf16();
        QCOMPARE(m_channels.groupTimeScale, 32.0f);
    }

    void brokenScalesStillFrame() {
        m_channels.timeScale = {0, -1, NaN, std::numeric_limits<float>::infinity(), 0, 0};
        m_channels.groupTimeScale = NaN;
        m_panel->setText(5, Box::Text1, QStringLiteral("x"));
        m_charts->frameAll();
        QCOMPARE(m_charts->channelChart(0).textsAt(QPointF(800, 3600)), QStringList{"0"});
        QCOMPARE(m_charts->channelChart(2).textsAt(QPointF(800, 3600)), QStringList{"0"});
        QCOMPARE(m_charts->channelChart(5).textsAt(QPointF(50, 3200)), QStringList{"0"});
        QCOMPARE(m_charts->groupChart(0).textsAt(QPointF(800, 4000)), QStringList{"0"});
        QCOMPARE(pixel(m_charts->channelChart(3), 400, 1000), Red);
        // A curve computed from such a factor must not reach the picture either.
        m_charts->channelChart(0).drawLine(QPointF(NaN, 0), QPointF(1e300, -1e300), Red);

        m_charts->hs();
        m_charts->hs16();
        QCOMPARE(m_channels.timeScale[2], 1.0f / 32);
        QCOMPARE(m_channels.groupTimeScale, 0.125f);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ChannelModel m_channels;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<PanelModel> m_panel;
    std::unique_ptr<ChartSet> m_charts;
};

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
