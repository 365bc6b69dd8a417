#pragma once

#include <QObject>

class QSocketNotifier;

namespace q7rk {

// SIGTERM, SIGINT, SIGHUP and SIGQUIT as an event of the program's own thread: the handler only writes a
// byte to a socket pair, and the notifier turns it into `received` between two events, so
// the program can stop the instrument before it goes instead of dying in the middle of a
// run. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace q7rk
