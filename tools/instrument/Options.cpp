#include "Options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <functional>

namespace q7rk::instrument {

namespace {

using ChannelSetter = std::function<bool(ChannelConfig&, const QString&)>;

bool setNumber(double& target, const QString& text, double minimum) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < minimum) return false;
    target = v;
    return true;
}

bool setSparks(ChannelConfig& c, const QString& text) {
    c.electrolyte = true;
    if (text == QStringLiteral("none")) { // a cell that holds its set voltage, never flashing
        c.sparks.clear();
        return true;
    }
    QList<double> sparks;
    for (const QString& part : text.split(',')) {
        double v = 0.0;
        if (!setNumber(v, part, 0.0)) return false;
        sparks.append(v);
    }
    c.sparks = sparks;
    return true;
}

struct ChannelOption {
    QString name;
    QString valueName;
    QString help;
    bool channelRequired;
    ChannelSetter set;
};

QList<ChannelOption> channelOptions() {
    auto number = [](double ChannelConfig::*member, double minimum) {
        return [member, minimum](ChannelConfig& c, const QString& t) {
            return setNumber(c.*member, t, minimum);
        };
    };
    return {
        {"rate", "[CH:]K", "Rise rate in V/s per mA of set current (default 1.25).", false,
         number(&ChannelConfig::rate, 0.0)},
        {"leak-floor", "[CH:]MA", "Leakage current reached while holding (default 0.02).", false,
         number(&ChannelConfig::leakFloor, 0.0)},
        {"leak-tau", "[CH:]S", "Time constant of the leakage decay (default 10).", false,
         number(&ChannelConfig::leakTau, 0.001)},
        {"spark-drop", "[CH:]V", "Voltage lost at a spark (default 30).", false,
         number(&ChannelConfig::sparkDrop, 0.0)},
        {"foil-voltage", "[CH:]V",
         "Saturation voltage of the foil (default: set voltage / 1.25 × 1.02).", false,
         number(&ChannelConfig::foilVoltage, 0.0)},
        {"max-voltage", "CH:V", "Channel CH never exceeds V.", true,
         number(&ChannelConfig::maxVoltage, 0.0)},
        {"slow", "CH:F", "Rise rate of channel CH multiplied by F.", true,
         number(&ChannelConfig::slow, 0.0)},
        {"spark", "CH:V[,V...]|CH:none",
         "Electrolyte on channel CH flashing at these voltages (none: it never flashes).", true,
         setSparks},
    };
}

// "2:300" applies to channel 2, "300" (where allowed) to all six channels.
bool applyChannelValue(const ChannelOption& o, const QString& text, Options& options) {
    const qsizetype colon = text.indexOf(':');
    if (colon < 0) {
        if (o.channelRequired) return false;
        for (ChannelConfig& c : options.channels)
            if (!o.set(c, text)) return false;
        return true;
    }
    bool ok = false;
    const int channel = text.left(colon).toInt(&ok);
    if (!ok || channel < 1 || channel > 6) return false;
    return o.set(options.channels[std::size_t(channel - 1)], text.mid(colon + 1));
}

bool readInt(const QCommandLineParser& p, const QString& name, int minimum, int& target) {
    if (!p.isSet(name)) return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < minimum) return false;
    target = v;
    return true;
}

void addOptions(QCommandLineParser& p) {
    p.addOptions({
        {"port", "TCP port to listen on; 0 picks a free one (default 4001).", "N", "4001"},
        {"listen", "Address to listen on (default 127.0.0.1).", "ADDR", "127.0.0.1"},
        {"no-tcp", "Do not listen on TCP."},
        {"pty", "Create a pseudo-terminal and print its path."},
        {"pty-link", "Also link PATH to the pseudo-terminal (implies --pty).", "PATH"},
        {"log", "Append one line per received frame to FILE.", "FILE"},
        {"replay",
         "Answer from a link trace the program wrote (q7rk --trace, q7rk-run --trace): the "
         "recorded replies in the recorded rhythm, polls matched by sample index and order. "
         "The model and the fault switches are not used.",
         "FILE"},
        {"drop-every", "Leave every Nth poll unanswered.", "N"},
        {"drop-first", "Leave the first N polls unanswered.", "N"},
        {"corrupt-every", "Break the trailer of every Nth reply.", "N"},
        {"delay-ms", "Send every reply after N ms.", "N"},
        {"close-after", "Close a TCP connection after N frames received and answered.", "N"},
        {"silent", "Never reply."},
        {"wrong-code-every", "Every Nth reply carries a wrong code byte (bit 6 flipped).", "N"},
        {"short-every", "Cut every Nth reply short (60 of its 107 bytes).", "N"},
        {"noise-bytes-every", "Send stray bytes before every Nth reply.", "N"},
        {"split-replies", "Write every reply in 2-4 pieces with 2 ms gaps."},
        {"baud",
         "Pseudo-terminal line speed: replies take 10 bits per byte at N baud and a received "
         "frame is answered once its bytes would have arrived; 0 = unpaced. Default 9600 "
         "with --time-scale 1, else 0.",
         "N"},
        {"noise", "Noise amplitude on the voltage in mV (default 0).", "MV"},
        {"seed", "Seed of the noise and of where replies are split (default 1).", "N"},
        {"time-scale", "Model time runs F times faster than wall time (default 1).", "F"},
        {"clock",
         "What moves the model's time: wall (the wall clock, scaled by --time-scale; the "
         "default) or samples (one second per sample index the polls carry, so that the same "
         "run reads the same values on a loaded machine).",
         "wall|samples"},
    });
    for (const ChannelOption& o : channelOptions())
        p.addOption({o.name, o.help, o.valueName});
}

QString readGeneral(const QCommandLineParser& p, Options& o) {
    bool ok = false;
    const uint port = p.value("port").toUInt(&ok);
    if (!ok || port > 65535) return "bad --port";
    o.port = quint16(port);
    o.listenAddress = p.value("listen");
    o.tcp = !p.isSet("no-tcp");
    o.ptyLink = p.value("pty-link");
    o.pty = p.isSet("pty") || !o.ptyLink.isEmpty();
    o.logPath = p.value("log");
    o.replayPath = p.value("replay");
    o.faults.silent = p.isSet("silent");
    if (!readInt(p, "drop-every", 1, o.faults.dropEvery) ||
        !readInt(p, "drop-first", 1, o.faults.dropFirst) ||
        !readInt(p, "corrupt-every", 1, o.faults.corruptEvery) ||
        !readInt(p, "delay-ms", 0, o.faults.delayMs) ||
        !readInt(p, "close-after", 1, o.faults.closeAfter) ||
        !readInt(p, "wrong-code-every", 1, o.faults.wrongCodeEvery) ||
        !readInt(p, "short-every", 1, o.faults.shortEvery) ||
        !readInt(p, "noise-bytes-every", 1, o.faults.noiseBytesEvery))
        return "fault switches take a positive whole number";
    if (p.isSet("noise") && !setNumber(o.noiseMillivolts, p.value("noise"), 0.0))
        return "bad --noise";
    if (p.isSet("time-scale") && !setNumber(o.timeScale, p.value("time-scale"), 1e-6))
        return "bad --time-scale";
    o.faults.splitReplies = p.isSet("split-replies");
    const QString clock = p.value("clock");
    if (!clock.isEmpty() && clock != QLatin1String("wall") && clock != QLatin1String("samples"))
        return "bad --clock";
    o.clockBySamples = clock == QLatin1String("samples");
    o.baud = o.timeScale == 1.0 ? kPlantBaud : 0;
    if (!readInt(p, "baud", 0, o.baud)) return "bad --baud";
    if (p.isSet("seed")) o.seed = p.value("seed").toUInt(&ok);
    if (p.isSet("seed") && !ok) return "bad --seed";
    if (!o.tcp && !o.pty) return "--no-tcp without --pty leaves nothing to talk to";
    return {};
}

} // namespace

ParseResult parseOptions(const QStringList& arguments, Options& options) {
    QCommandLineParser p;
    p.setApplicationDescription("Stand-in for the six-channel TV tester: answers handshakes "
                                "and polls over TCP and/or a pseudo-terminal.");
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    addOptions(p);
    if (!p.parse(arguments)) return {ParseStatus::Error, p.errorText()};
    if (p.isSet(help)) return {ParseStatus::Help, p.helpText()};
    if (p.isSet(version))
        return {ParseStatus::Help, QCoreApplication::applicationName() + QLatin1Char(' ') +
                                       QCoreApplication::applicationVersion() + QLatin1Char('\n')};
    if (!p.positionalArguments().isEmpty())
        return {ParseStatus::Error, "unexpected argument " + p.positionalArguments().first()};
    if (const QString error = readGeneral(p, options); !error.isEmpty())
        return {ParseStatus::Error, error};
    for (const ChannelOption& o : channelOptions())
        for (const QString& v : p.values(o.name))
            if (!applyChannelValue(o, v, options))
                return {ParseStatus::Error, QString("bad --%1 %2").arg(o.name, v)};
    return {};
}

} // namespace q7rk::instrument
