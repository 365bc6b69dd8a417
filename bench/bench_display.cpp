// Cost of displaying a stored 6000-sample TV test: reading it from its file, the boxes, the
// time scale, the samples and the curves with their marks in the channel and comparison
// charts. Prints median and 99th percentile in milliseconds.
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "reports/StoredTestDisplay.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace q7rk;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // images only, no window
    QGuiApplication app(argc, argv);             // fonts for the labels

    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
    ChannelModel channels;
    PanelModel panel(channels, settings);
    panel.resetToDesign();
    ChartSet charts(channels, panel, settings);
    charts.frameAll();
    SampleStore samples;
    CurvePlotter plotter(charts, channels, panel, samples, settings);
    ResultStore store(dir.path());
    ScriptedPrompter prompter;
    const ChannelTests runs{};
    StoredTestDisplay display(panel, channels, runs, charts, plotter, samples, store, prompter);

    // Delay 60 and rise 5940: all 6000 samples are drawn.
    StoredTest t;
    t.values = QStringList(fieldNames(TestKind::Tv).size());
    t.setValue(QStringLiteral("测试编号"), QStringLiteral("B1HL"));
    t.setValue(QStringLiteral("化成电压"), QStringLiteral("200"));
    t.setValue(QStringLiteral("延迟时间"), QStringLiteral("60"));
    t.setValue(QStringLiteral("升压时间"), QStringLiteral("5940"));
    for (int n = 1; n <= SampleStore::MaxSample; ++n)
        t.curve.push_back({std::min(220.0, n * 0.1), 2 + std::cos(n * 0.11)});
    if (!store.save(t).ok) {
        std::fprintf(stderr, "cannot save the test\n");
        return 1;
    }

    constexpr int Runs = 40;
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int r = 0; r < Runs + Runs / 10; ++r) { // the first tenth warms up
        clock.start();
        const DisplayOutcome out = display.show(
            {TestKind::Tv, TestKey{QStringLiteral("B1HL")}, r % 3, DisplayGroup::Channels13});
        if (!out.complete) {
            std::fprintf(stderr, "display incomplete: %s\n", qPrintable(out.message));
            return 1;
        }
        if (r >= Runs / 10) ms.push_back(double(clock.nsecsElapsed()) / 1.0e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-48s median %9.3f ms   p99 %9.3f ms\n", "display of a 6000-sample test",
                ms[ms.size() / 2], ms[ms.size() * 99 / 100]);
    return 0;
}
