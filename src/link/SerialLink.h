#pragma once

#include "link/InstrumentLink.h"
#include "link/SerialPollExchange.h"
#include "link/Transport.h"
#include "settings/Timing.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace q7rk {

class SettingsStore;
class Transport;

// The serial link: the menu 打开串口 → COMn searches upward from port n to port 12 for an
// instrument that answers the handshake and keeps the first one that does; 关闭串口 closes
// it. The search is a small state machine on timers (reply time-out, then a pause before the
// port is judged), so the window stays live and the port being tried is reported. Once a
// port is kept, the link listens to it: an adapter that goes away is reported as a lost link.
// Each step is reported as a state change naming the port.
class SerialLink : public InstrumentLink {
    Q_OBJECT
public:
    static constexpr int LastPort = 12;

    SerialLink(SettingsStore& settings, const Timing& timing, QObject* parent = nullptr);
    ~SerialLink() override;

    // Port number -> device: the setting "comdev(n)" in "canshu" when present, else the
    // platform's name (COMn on Windows, /dev/ttyS(n-1) elsewhere).
    QString devicePath(int port) const;

    void connectFrom(int comPortChoice); // menu COM1..COM5
    void closePort();                    // menu 关闭串口, and shutdown

    bool isOpen() const;
    // The kept port went away on its own; 关闭串口 still tidies up after it.
    bool isLost() const { return m_lost; }

    bool isReady() const override { return isOpen(); }
    void sendPoll(const PollBuilder& build) override;
    void cancelPoll() override;
    bool sendResult(const QByteArray& frame) override;
    qintptr descriptor() const override {
        const Transport* t = transport();
        return t ? t->descriptor() : -1;
    }
    void closeLink() override { closePort(); }
    QString statusName() const override;
    QString endpoint() const override;
    void setTrace(std::shared_ptr<LinkTrace> trace) override;
    SerialPollExchange& pollExchange() { return m_poll; }
    bool isSearching() const { return m_searching; }
    int comPortChoice() const { return m_choice; }
    int currentPort() const { return m_port; }
    // The open port once an instrument answered; null otherwise.
    Transport* transport() const;

signals:
    void searchFinished(bool found);

private:
    void tryPort();
    void onReplyWaitOver();
    void judgePort();
    void found();
    void failed();
    void dropPort();
    void onPortLost();

    SettingsStore& m_settings;
    Timing m_timing;
    std::unique_ptr<Transport> m_transport;
    std::shared_ptr<LinkTrace> m_trace;
    SerialPollExchange m_poll;
    PollBuilder m_pendingPoll;
    QTimer m_replyTimer;
    QTimer m_pauseTimer;
    int m_choice = 1;
    int m_port = 1;
    bool m_searching = false;
    bool m_open = false;
    bool m_lost = false;
};

} // namespace q7rk
