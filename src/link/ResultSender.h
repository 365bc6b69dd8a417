#pragma once

#include "link/Transport.h"
#include "settings/ChannelModel.h"
#include "settings/Timing.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace q7rk {

class PanelModel;

// Tells the instrument the verdicts at the end of a run (POWER_OFF). The frame goes over
// the serial line when the serial link carries the traffic and its port is open, and also
// over a standing TCP connection: the instrument must learn the results whichever way it is
// reached. No reply is awaited.
class ResultSender : public QObject {
    Q_OBJECT
public:
    ResultSender(const ChannelModel& channels, const PanelModel& panel, const Timing& timing = {},
                 QObject* parent = nullptr);

    // Either may be null (no such link).
    void setSerialTransport(Transport* transport) { m_serial = transport; }
    void setEthernetTransport(Transport* transport) { m_ethernet = transport; }
    void setTiming(const Timing& timing) { m_gapTimer.setInterval(timing.resultGapMs); }

    // Builds the result frame from the boxes as they are now and sends it; returns over how
    // many links it went.
    int POWER_OFF();
    // The end of a run: sends now and once more after the result gap (a frame lost on the
    // line is made good by the second); twiceSent() follows.
    void sendTwice();
    bool isPending() const { return m_gapTimer.isActive(); }

private:
    int send(const QByteArray& bytes);

signals:
    void sent(int links);
    void twiceSent();

private:
    const ChannelModel& m_channels;
    const PanelModel& m_panel;
    QPointer<Transport> m_serial;
    QPointer<Transport> m_ethernet;
    QTimer m_gapTimer;
    QByteArray m_pending; // the frame of sendTwice(), sent again after the gap
};

} // namespace q7rk
