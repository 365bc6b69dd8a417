// Cost of the live curves with full sample stores: the plot step of one sampling tick for
// six channels at sample 6000, the automatic rescale that frames a chart anew and redraws
// 6000 samples from the store (a channel chart; the three comparison charts with six
// channels), and all nine charts framed and redrawn at 6000 and at 60000 samples, from the
// column extremes and through every sample, at the charts' old size (15 twips per pixel) and
// at the scales the window gives them full screen at 1920×1080. Prints median and 99th
// percentile in milliseconds.
#include "app/ChartsPage.h"
#include "app/MainWindow.h"
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/MeasurementTables.h"
#include "execution/RunEvents.h"
#include "execution/SamplingTick.h"
#include "params/PanelModel.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "shell/ShellModel.h"
#include "station/RunPresenter.h"

#include "shell/ScriptedPrompter.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Last = SampleStore::MaxSample;

// This thread's processor time: on a machine shared with other work the wall clock also
// counts the time slices given to others.
double threadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1.0e3 + double(t.tv_nsec) / 1.0e6;
}

// Median and 99th percentile of the wall clock in milliseconds, and the median of this
// thread's processor time; returns the two medians.
std::pair<double, double> report(const char* name, int runs, const std::function<void()>& prepare,
                                 const std::function<void()>& work) {
    std::vector<double> ms;
    std::vector<double> cpu;
    ms.reserve(std::size_t(runs));
    cpu.reserve(std::size_t(runs));
    QElapsedTimer clock;
    for (int r = 0; r < runs + runs / 10; ++r) { // the first tenth warms up
        prepare();
        const double cpuStart = threadMilliseconds();
        clock.start();
        work();
        if (r < runs / 10) continue;
        ms.push_back(double(clock.nsecsElapsed()) / 1.0e6);
        cpu.push_back(threadMilliseconds() - cpuStart);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = ms[ms.size() / 2];
    std::printf("%-48s median %7.3f ms  p99 %7.3f ms  cpu median %7.3f ms\n", name, median,
                ms[ms.size() * 99 / 100], cpu[cpu.size() / 2]);
    return {median, cpu[cpu.size() / 2]};
}

// A foil-like curve: a rise to 1.1 × 200 V over 1500 s, then a plateau with ripple.
void fill(SampleStore& store) {
    for (int k = 0; k < ChannelCount; ++k) {
        for (int n = 0; n <= store.lastSample(); ++n) {
            const double rise = std::min(1.0, n / 1500.0) * (220 - 10 * k);
            const double ripple = 3 * std::sin(n * 0.37 + k);
            store.set(k, n, float(rise + ripple), float(2 + std::cos(n * 0.11 + k)));
        }
    }
}

// The nine charts framed anew and all curves drawn again from a store of `samples`, as after
// a scale command, with the time scales set so that the curves span the same width however
// many samples they hold. Returns the medians from the column extremes (wall clock and
// processor time) and through every sample (wall clock).
// Every channel a TV test to 200 V, as the charts below are drawn.
void tvOnAllChannels(PanelModel& panel) {
    for (int k = 0; k < ChannelCount; ++k)
        panel.setText(k, Box::FormationVoltage, QStringLiteral("200"));
    panel.clickOption(Option::TvTest, 0);
    panel.clickOption(Option::TvTest, 1);
}

// The scales the window's chart pages choose at a screen size: TV(0..5), TV16(0..1), TV16(2).
struct PageScales {
    ChartScale channel;
    ChartScale group;
    ChartScale all;
};
PageScales windowScales(QSize screen, const QString& settingsFile) {
    MainWindow window(settingsFile, std::make_unique<ScriptedPrompter>());
    window.resize(screen);
    window.show();
    // A page lays its charts out when it is first shown.
    for (int tab = 2; tab >= 0; --tab) {
        window.tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
    }
    const auto page = [&](int tab) { return window.tabs()->widget(tab); };
    return {static_cast<ChannelChartsPage*>(page(0))->chartScale(),
            static_cast<GroupChartsPage*>(page(1))->chartScale(),
            static_cast<GroupChartsPage*>(page(2))->chartScale()};
}

struct NineCharts {
    double envelope;
    double envelopeCpu;
    double full;
};
NineCharts redrawNine(int samples, SettingsStore& settings, const PageScales& scales,
                      const QByteArray& size, int runs = 300) {
    ChannelModel channels;
    channels.showCurrentCurve = true;
    PanelModel panel(channels, settings);
    tvOnAllChannels(panel);
    ChartSet charts(channels, panel, settings);
    SampleStore store(samples);
    fill(store);
    CurvePlotter plotter(charts, channels, panel, store, settings);
    channels.timeScale.fill(32.0f * float(samples) / Last);
    channels.groupTimeScale = 32.0f * float(samples) / Last;
    for (int k = 0; k < ChannelCount; ++k) {
        plotter.setChannelChartScale(k, scales.channel);
        plotter.plot(k, samples, store.current(k, samples), CurvePlotter::Stroke::Draw);
    }
    plotter.setGroupChartScale(0, scales.group);
    plotter.setGroupChartScale(1, scales.group);
    plotter.setGroupChartScale(2, scales.all);
    const auto redraw = [&] {
        for (int k = 0; k < ChannelCount; ++k) {
            charts.frameChannelChart(k);
            plotter.redrawChannelCurves(k);
        }
        for (int n = 0; n < ChartSet::GroupChartCount; ++n) {
            charts.frameGroupChart(n);
            plotter.redrawComparisonCurves(n);
        }
    };
    const QByteArray count = QByteArray::number(samples);
    const auto [envelope, envelopeCpu] =
        report(("nine charts redrawn " + size + ", " + count + " samples, envelope").constData(),
               runs, [] {}, redraw);
    if (runs < 300) return {envelope, envelopeCpu, 0};
    plotter.setColumnEnvelopes(false);
    const double full =
        report(
            ("nine charts redrawn " + size + ", " + count + " samples, every sample").constData(),
            50, [] {}, redraw)
            .first;
    // What a change of the window's size costs: the nine pictures drawn again at another
    // scale, from what they keep and the sample store, there and back.
    plotter.setColumnEnvelopes(true);
    bool there = false;
    report(("nine charts rescaled " + size + ", " + count + " samples").constData(), 100, [] {},
           [&] {
               there = !there;
               const auto nudge = [there](ChartScale s) {
                   return there ? ChartScale{s.x * 1.01, s.y * 1.01} : s;
               };
               for (int k = 0; k < ChannelCount; ++k)
                   plotter.setChannelChartScale(k, nudge(scales.channel));
               plotter.setGroupChartScale(0, nudge(scales.group));
               plotter.setGroupChartScale(1, nudge(scales.group));
               plotter.setGroupChartScale(2, nudge(scales.all));
           });
    return {envelope, envelopeCpu, full};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // images only, no window
    QApplication app(argc, argv);                // fonts for the frame labels, the window
    QTemporaryDir dir;
    const PageScales full = windowScales(QSize(1920, 1080), dir.filePath(QStringLiteral("w.ini")));
    std::printf("1920x1080 window: channel charts %.2f x %.2f, group charts %.2f x %.2f, "
                "1-6 chart %.2f x %.2f twips per pixel\n",
                full.channel.x, full.channel.y, full.group.x, full.group.y, full.all.x, full.all.y);
    SettingsStore settings(dir.filePath(QStringLiteral("bench.ini")));
    // Under a profiler: the full-screen envelope redraws alone, a few dozen times.
    if (QCoreApplication::arguments().contains(QStringLiteral("--redraw-only"))) {
        redrawNine(Last, settings, full, "at 1920x1080", 30);
        redrawNine(10 * Last, settings, full, "at 1920x1080", 30);
        return 0;
    }
    const PerChannel<bool> running{true, true, true, true, true, true};
    ChannelModel channels;
    channels.firstChannel = 0;
    channels.lastChannel = 5;
    channels.showCurrentCurve = true;
    PanelModel panel(channels, settings);
    tvOnAllChannels(panel);
    panel.setText(0, Box::RiseTime, QStringLiteral("1400"));
    ChartSet charts(channels, panel, settings);
    SampleStore store;
    fill(store);
    CurvePlotter plotter(charts, channels, panel, store, settings);
    channels.timeScale.fill(32);
    channels.groupTimeScale = 32;
    charts.frameAll();

    report(
        "plot step, six channels at sample 6000", 2000, [] {},
        [&] {
            for (int k = 0; k < ChannelCount; ++k)
                plotter.plot(k, Last, store.current(k, Last), CurvePlotter::Stroke::Draw);
        });
    // The whole tick: conversion, calibration, formatting into the readouts, peak, sparks and
    // the plot step, for six channels at the last sample the store holds.
    // The panel and the curves follow the tick's events, as in the program.
    ChannelTests runs{};
    RunEvents events;
    ShellModel shell;
    RunPresenter presenter(events, runs, store, panel, plotter, shell, settings);
    SamplingTick tick(channels, store, runs, events, MeasurementTables{});
    channels.rawVoltage.fill(9000);
    channels.rawCurrent.fill(7000);
    report(
        "sampling tick, six channels at sample 6000", 2000, [&] { channels.sampleIndex = Last; },
        [&] { tick.run(); });
    report(
        "scroll when full: channel chart, 6000 samples", 200, [&] { channels.timeScale[0] = 16; },
        [&] { plotter.scrollWhenFull(0, Last, running); });
    report(
        "scroll when full: 3 comparison charts, 6x6000 samples", 100,
        [&] { channels.groupTimeScale = 16; }, [&] { plotter.scrollWhenFull(0, Last, running); });
    channels.showCurrentCurve = false;
    report(
        "  same, channel chart without current curve", 200, [&] { channels.timeScale[0] = 16; },
        [&] { plotter.scrollWhenFull(0, Last, running); });
    const NineCharts at6k = redrawNine(Last, settings, {}, "at 15 twips/px");
    const NineCharts at60k = redrawNine(10 * Last, settings, {}, "at 15 twips/px");
    redrawNine(Last, settings, full, "at 1920x1080");
    redrawNine(10 * Last, settings, full, "at 1920x1080");
    std::printf("growth 6000 -> 60000 samples: envelope %.2f (cpu %.2f), every sample %.2f\n",
                at60k.envelope / at6k.envelope, at60k.envelopeCpu / at6k.envelopeCpu,
                at60k.full / at6k.full);
    // A real rescale also saves the settings file once (the factor changes); the figures
    // above leave that out because the stored factor repeats from run to run.
    int factor = 0;
    report(
        "settings save of a changed factor", 200, [] {},
        [&] {
            settings.write(QStringLiteral("canshu"), QStringLiteral("hxfd16"),
                           QString::number(++factor));
        });
    return 0;
}
