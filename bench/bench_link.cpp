// Cost of the frame code per frame: building a poll from the panel, decoding replies and
// gathering frames from a TCP byte stream. Prints median and 99th percentile in
// microseconds; compare the figures within one run only.
#include "link/Frame.h"
#include "link/FrameAssembler.h"
#include "link/SetValueTables.h"
#include "params/DesignTexts.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Samples = 2000;
constexpr int FramesPerSample = 50; // a batch per sample keeps timer resolution out of it

volatile int g_sink = 0; // keeps the optimiser from dropping the work

void report(const char* name, const std::function<void()>& oneFrame) {
    std::vector<double> perFrameUs;
    perFrameUs.reserve(Samples);
    for (int i = 0; i < Samples / 10; ++i) // warm up
        oneFrame();
    QElapsedTimer clock;
    for (int s = 0; s < Samples; ++s) {
        clock.start();
        for (int i = 0; i < FramesPerSample; ++i)
            oneFrame();
        perFrameUs.push_back(double(clock.nsecsElapsed()) / FramesPerSample / 1000.0);
    }
    std::sort(perFrameUs.begin(), perFrameUs.end());
    const double median = perFrameUs[perFrameUs.size() / 2];
    const double p99 = perFrameUs[perFrameUs.size() * 99 / 100];
    std::printf("%-28s median %8.3f us   p99 %8.3f us\n", name, median, p99);
}

QByteArray sampleReply() {
    QByteArray reply = emptyFrame(FrameCode::PollReply);
    for (int k = 0; k < ChannelCount; ++k) {
        reply[16 + 16 * k] = char(0x12 + k);
        reply[19 + 16 * k] = char(0x34 + k);
    }
    return reply;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("bench.ini")));
    ChannelModel channels;
    ChannelTests tests;
    for (int k = 0; k < ChannelCount; ++k) {
        tests[k].stopped = false;
        for (int b = 1; b <= BoxCount; ++b)
            tests[k].takeShown(Box(b), designText(k, Box(b)));
    }
    tests[0].takeShown(Box::LiveVoltage, QStringLiteral("180.5"));
    tests[0].takeShown(Box::LiveCurrent, QStringLiteral("1.234"));
    const SetValueTables tables;

    report("encode buildPoll", [&] {
        const BuiltFrame poll = buildPoll(channels, tests, tables);
        g_sink = g_sink + poll.bytes.size();
    });
    report("encode buildResult", [&] { g_sink = g_sink + buildResult(channels, tests).size(); });
    const QByteArray reply = sampleReply();
    report("decode serial reply",
           [&] { g_sink = g_sink + int(decodeSerialReply(reply)->voltage[1]); });
    report("decode ethernet reply",
           [&] { g_sink = g_sink + int(decodeEthernetReply(reply)->current[5]); });
    FrameAssembler assembler;
    const QByteArray stream = QByteArray("\x01\x02", 2) + reply;
    report("assemble + decode (tcp)", [&] {
        for (const QByteArray& f : assembler.feed(stream))
            g_sink = g_sink + int(decodeEthernetReply(f)->voltage[0]);
    });
    return 0;
}
