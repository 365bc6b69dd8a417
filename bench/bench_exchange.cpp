// One poll exchange against the real simulator: over loopback TCP (the Ethernet link) and
// over a pseudo-terminal (the serial poll exchange). Prints the round trip (median, p99)
// and the program's own CPU time per exchange, measured on the program's thread, so the
// simulator's share and the waiting are left out.
#include "link/EthernetLink.h"
#include "link/Frame.h"
#include "link/SerialPollExchange.h"
#include "link/SerialTransport.h"
#include "link/SetValueTables.h"
#include "params/DesignTexts.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Exchanges = 2000;

double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

struct Simulator {
    QProcess process;
    quint16 port = 0;
    QString pty;
    bool start(const QStringList& args) {
        process.start(QStringLiteral(Q7RK_INSTRUMENT_PATH), args);
        QByteArray out;
        while (!out.contains("READY") && process.waitForReadyRead(10000))
            out += process.readAllStandardOutput();
        const QString text = QString::fromUtf8(out);
        const auto l = QRegularExpression(QStringLiteral("LISTEN \\S+:(\\d+)")).match(text);
        const auto p = QRegularExpression(QStringLiteral("PTY (\\S+)")).match(text);
        port = l.hasMatch() ? quint16(l.captured(1).toUInt()) : 0;
        pty = p.hasMatch() ? p.captured(1) : QString();
        return out.contains("READY");
    }
    ~Simulator() {
        process.kill();
        process.waitForFinished(3000);
    }
};

// Round trips and CPU time of `count` exchanges; `send` starts one, `done` is connected by
// the caller to call `next` when its reply is in.
struct Recorder {
    std::vector<double> roundTripUs;
    QElapsedTimer clock;
    double cpuStart = 0;
    double cpuTotal = 0;
    void begin() {
        roundTripUs.reserve(Exchanges);
        cpuStart = threadCpuUs();
    }
    void print(const char* name) {
        std::sort(roundTripUs.begin(), roundTripUs.end());
        const double n = double(roundTripUs.size());
        std::printf("%-22s round trip median %8.1f us  p99 %8.1f us   program CPU %6.1f us "
                    "per exchange (%zu exchanges)\n",
                    name, roundTripUs[roundTripUs.size() / 2],
                    roundTripUs[roundTripUs.size() * 99 / 100], cpuTotal / n, roundTripUs.size());
    }
};

void benchEthernet(const ChannelTests& tests, ChannelModel& channels) {
    Simulator sim;
    if (!sim.start({QStringLiteral("--port"), QStringLiteral("0")})) {
        std::printf("simulator did not start\n");
        return;
    }
    EthernetLink link;
    const SetValueTables tables;
    Recorder rec;
    auto send = [&] {
        rec.clock.start();
        link.send(buildPoll(channels, tests, tables).bytes);
    };
    QObject::connect(&link, &EthernetLink::handshakeReplied, [&] {
        rec.begin();
        send();
    });
    QObject::connect(&link, &EthernetLink::pollReplyDecoded, [&] {
        rec.roundTripUs.push_back(double(rec.clock.nsecsElapsed()) / 1e3);
        if (int(rec.roundTripUs.size()) < Exchanges) return send();
        rec.cpuTotal = threadCpuUs() - rec.cpuStart;
        QCoreApplication::quit();
    });
    link.open(QStringLiteral("127.0.0.1"), quint16(sim.port));
    QCoreApplication::exec();
    rec.print("ethernet (tcp)");
}

void benchSerial(const ChannelTests& tests, ChannelModel& channels) {
    Simulator sim;
    if (!sim.start({QStringLiteral("--no-tcp"), QStringLiteral("--pty"), QStringLiteral("--baud"),
                    QStringLiteral("0")})) {
        std::printf("simulator did not start\n");
        return;
    }
    SerialTransport port(sim.pty);
    if (!port.open()) {
        std::printf("cannot open %s\n", qPrintable(sim.pty));
        return;
    }
    const SetValueTables tables;
    SerialPollExchange exchange;
    exchange.setTransport(&port);
    Recorder rec;
    auto tick = [&] {
        rec.clock.start();
        exchange.tick([&] { return buildPoll(channels, tests, tables).bytes; });
    };
    QObject::connect(&exchange, &SerialPollExchange::finished, [&](bool) {
        rec.roundTripUs.push_back(double(rec.clock.nsecsElapsed()) / 1e3);
        if (int(rec.roundTripUs.size()) < Exchanges) return tick();
        rec.cpuTotal = threadCpuUs() - rec.cpuStart;
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        rec.begin();
        tick();
    });
    QCoreApplication::exec();
    rec.print("serial (pty)");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("bench.ini")));
    ChannelModel channels;
    ChannelTests tests;
    for (int k = 0; k < ChannelCount; ++k)
        for (int b = 1; b <= BoxCount; ++b)
            tests[k].takeShown(Box(b), designText(k, Box(b)));
    benchEthernet(tests, channels);
    benchSerial(tests, channels);
    return 0;
}
