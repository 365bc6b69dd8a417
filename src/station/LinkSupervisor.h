#pragma once

#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"

#include <QObject>
#include <QString>

namespace q7rk {

class EthernetLink;
class PanelModel;
class Prompter;
class SerialLink;
class ShellModel;

// Shows the operator where both links stand (ActiveLink picks the one that carries the polls):
// the links report their states, and this turns them into panel 7, the captions and enabled
// items of the link commands, the toolbar and the messages. Only one link stands at a time:
// while the serial port is open the Ethernet commands are off, and while an Ethernet
// connection stands (or is being made) the serial menu is.
class LinkSupervisor : public QObject {
    Q_OBJECT
public:
    LinkSupervisor(SerialLink& serial, EthernetLink& ethernet, ActiveLink& active,
                   const PanelModel& panel, ShellModel& shell, Prompter& prompter,
                   QObject* parent = nullptr);

    void openSerial(int comPortChoice); // menu COM1..COM5
    void closeSerial();                 // menu 关闭串口
    // Command::ToggleEthernet: connects to the address and port of Text41/Text42
    // when closed, closes otherwise.
    void toggleEthernet();
    // Both links closed, nothing shown or asked.
    void shutdown();

private:
    void onSerialState(InstrumentLink::LinkState state, const QString& port);
    void onEthernetState(InstrumentLink::LinkState state, const QString& detail);
    void setEthernetItems(bool closed);

    SerialLink& m_serial;
    EthernetLink& m_ethernet;
    ActiveLink& m_active;
    const PanelModel& m_panel;
    ShellModel& m_shell;
    Prompter& m_prompter;
};

} // namespace q7rk
