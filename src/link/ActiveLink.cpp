#include "link/ActiveLink.h"

namespace q7rk {

ActiveLink::ActiveLink(InstrumentLink& serial, InstrumentLink& ethernet, QObject* parent)
    : QObject(parent), m_serial(serial), m_ethernet(ethernet) {
    connect(&m_serial, &InstrumentLink::stateChanged, this, [this](InstrumentLink::LinkState s) {
        if (s == InstrumentLink::LinkState::Ready) m_serialActive = true;
    });
    connect(&m_ethernet, &InstrumentLink::stateChanged, this, [this](InstrumentLink::LinkState s) {
        if (s == InstrumentLink::LinkState::Ready) m_serialActive = false;
    });
}

} // namespace q7rk
