#pragma once

#include "kinds/ChannelTest.h"
#include "link/InstrumentLink.h"
#include "settings/ChannelModel.h"
#include "settings/Timing.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace q7rk {

// Tells the instrument the verdicts at the end of a run (POWER_OFF). The frame goes over
// every link that stands (the serial port or the TCP connection): the instrument must learn
// the results whichever way it is reached, and a link that is gone is not written to. No
// reply is awaited.
class ResultSender : public QObject {
    Q_OBJECT
public:
    ResultSender(const ChannelModel& channels, const ChannelTests& tests, const Timing& timing = {},
                 QObject* parent = nullptr);

    void addLink(InstrumentLink* link) { m_links.append(link); }
    void setTiming(const Timing& timing) { m_gapTimer.setInterval(timing.resultGapMs); }

    // Builds the result frame from the boxes as they are now and sends it; returns over how
    // many links it went.
    int POWER_OFF();
    // The end of a run: sends now and once more after the result gap (a frame lost on the
    // line is made good by the second); twiceSent() follows.
    void sendTwice();
    bool isPending() const { return m_gapTimer.isActive(); }
    // The program goes during the gap: the second frame leaves now rather than never, and
    // nobody is told (nothing waits for it any more).
    void finishNow();

private:
    int send(const QByteArray& bytes);

signals:
    void sent(int links);
    void twiceSent();

private:
    const ChannelModel& m_channels;
    const ChannelTests& m_tests;
    QList<QPointer<InstrumentLink>> m_links;
    QTimer m_gapTimer;
    QByteArray m_pending; // the frame of sendTwice(), sent again after the gap
};

} // namespace q7rk
