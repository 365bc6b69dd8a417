#pragma once

// The program's side of the exchange, by the program's own parts on a station: the poll it
// builds and what its sampling tick shows, so the simulator is checked against what the
// program really sends and reads.

#include "execution/SamplingTick.h"
#include "link/Frame.h"
#include "link/SetValueTables.h"
#include "params/PanelModel.h"
#include "support/TestStation.h"

namespace q7rk::test {

struct ProgramSide {
    testing::TestStation p;
    SamplingTick tick{p.channels, p.station.samples(), p.station.runTests(), p.station.runEvents()};

    struct Shown {
        double volts, milliamps;
    };
    // What the sampling tick shows on channel k for a reply with these codes (the channel
    // stopped, so no curve is drawn).
    Shown view(int k, int voltageCode, int currentCode) {
        p.channels.firstChannel = p.channels.lastChannel = qint16(k);
        p.channels.sampleIndex = 1;
        p.station.takeTestsAtStart();
        for (ChannelTest& t : p.station.runTests())
            t.stopped = true;
        p.channels.rawVoltage[k] = float(voltageCode);
        p.channels.rawCurrent[k] = float(currentCode);
        tick.run();
        return {p.station.samples().voltage(k, 1), p.station.samples().current(k, 1)};
    }

    // The poll of a running TV group of channels 1..lastChannel+1 at `formation` volts
    // (1.25 times that is set) and `milliamps`.
    QByteArray poll(int sampleIndex, double formation = 200, double milliamps = 2,
                    int lastChannel = 1) {
        p.channels.firstChannel = 0;
        p.channels.lastChannel = qint16(lastChannel);
        p.channels.sampleIndex = qint16(sampleIndex);
        for (ChannelTest& t : p.station.runTests())
            t.stopped = false;
        for (int k = 0; k <= lastChannel; ++k) {
            p.panel.setText(k, Box::FormationVoltage, QString::number(formation));
            p.panel.setText(k, Box::TestCurrent, QString::number(milliamps));
        }
        p.station.takeTestsAtStart();
        return buildPoll(p.channels, p.station.runTests(), SetValueTables{}).bytes;
    }
    // The set voltage and current codes of channel k in a poll.
    static std::pair<int, int> setCodes(const QByteArray& poll, int k) {
        const auto word = [&](int at) { return quint8(poll[at]) << 8 | quint8(poll[at + 1]); };
        return {word(frame::blockAt(k) + frame::SetVoltageAt),
                word(frame::blockAt(k) + frame::SetCurrentAt)};
    }
};

// A frame of any command code, as the program frames it.
inline QByteArray commandFrame(int code) {
    return emptyFrame(FrameCode(code));
}

} // namespace q7rk::test
