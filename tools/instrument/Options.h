#pragma once

#include "InstrumentModel.h"

#include <QString>
#include <QStringList>

#include <array>

namespace q7rk::instrument {

// Ways to misbehave, so the program's error paths can be exercised.
struct Faults {
    int dropEvery = 0;         // no reply to every Nth poll
    int dropFirst = 0;         // no reply to the first N polls (a line that comes back)
    int corruptEvery = 0;      // every Nth reply carries a broken trailer
    int delayMs = 0;           // every reply waits this long
    int closeAfter = 0;        // TCP: close the connection after N frames received
    bool silent = false;       // never reply
    int wrongCodeEvery = 0;    // every Nth reply carries a wrong code byte, the rest intact
    int shortEvery = 0;        // every Nth reply is cut short
    int noiseBytesEvery = 0;   // stray bytes go out before every Nth reply
    bool splitReplies = false; // replies leave in pieces with short gaps
};

// The speed of the serial line when none is given: the plant's 9600 baud in real time; with
// the model's time scaled the program's poll period shrinks too, and a true line could not
// keep up, so the line is unpaced then.
constexpr int kPlantBaud = 9600;

struct Options {
    bool tcp = true;
    QString listenAddress = QStringLiteral("127.0.0.1");
    quint16 port = 4001;
    bool pty = false;
    QString ptyLink;
    QString logPath;
    QString replayPath;    // answer from this link trace instead of the model
    int baud = kPlantBaud; // pseudo-terminal line speed; 0: unpaced
    Faults faults;
    double noiseMillivolts = 0.0;
    quint32 seed = 1;
    double timeScale = 1.0;
    // Model time follows the sample index the polls carry (one second per sample) instead of
    // the wall clock: a run reads the same values however late its polls leave.
    bool clockBySamples = false;
    std::array<ChannelConfig, 6> channels;
};

enum class ParseStatus { Ok, Help, Error };

struct ParseResult {
    ParseStatus status = ParseStatus::Ok;
    QString message; // usage text for Help, the complaint for Error
};

// Reads the command line (arguments()[0] is the program name).
ParseResult parseOptions(const QStringList& arguments, Options& options);

} // namespace q7rk::instrument
