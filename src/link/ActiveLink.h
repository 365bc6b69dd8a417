#pragma once

#include "link/InstrumentLink.h"

#include <QObject>

namespace q7rk {

// Which of the two links carries the polls: the serial port, unless an Ethernet connection
// took over when the instrument answered its handshake. A serial port that is opened, or
// answers, takes the polls back.
class ActiveLink : public QObject {
    Q_OBJECT
public:
    ActiveLink(InstrumentLink& serial, InstrumentLink& ethernet, QObject* parent = nullptr);

    InstrumentLink& current() const { return m_serialActive ? m_serial : m_ethernet; }
    bool ethernetActive() const { return !m_serialActive; }
    InstrumentLink& serialLink() const { return m_serial; }
    InstrumentLink& ethernetLink() const { return m_ethernet; }
    // The operator asked for a serial port.
    void useSerial() { m_serialActive = true; }

private:
    InstrumentLink& m_serial;
    InstrumentLink& m_ethernet;
    bool m_serialActive = true;
};

} // namespace q7rk
