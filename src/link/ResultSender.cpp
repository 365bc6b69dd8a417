#include "ResultSender.h"

#include "link/Frame.h"

namespace q7rk {

ResultSender::ResultSender(const ChannelModel& channels, const ChannelTests& tests,
                           const Timing& timing, QObject* parent)
    : QObject(parent), m_channels(channels), m_tests(tests) {
    m_gapTimer.setSingleShot(true);
    m_gapTimer.setInterval(timing.resultGapMs);
    connect(&m_gapTimer, &QTimer::timeout, this, [this] {
        send(m_pending);
        emit twiceSent();
    });
}

int ResultSender::POWER_OFF() {
    return send(buildResult(m_channels, m_tests));
}

int ResultSender::send(const QByteArray& bytes) {
    int links = 0;
    for (InstrumentLink* link : std::as_const(m_links))
        if (link && link->isReady()) links += link->sendResult(bytes) ? 1 : 0;
    emit sent(links);
    return links;
}

void ResultSender::finishNow() {
    if (!m_gapTimer.isActive()) return;
    m_gapTimer.stop();
    send(m_pending);
}

// Both frames carry the verdicts as they stood at the end of the run, even if the operator
// has already started the next one when the second goes out.
void ResultSender::sendTwice() {
    m_pending = buildResult(m_channels, m_tests);
    send(m_pending);
    m_gapTimer.start();
}

} // namespace q7rk
