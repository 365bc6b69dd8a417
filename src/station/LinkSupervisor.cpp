#include "station/LinkSupervisor.h"

#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/PanelModel.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"
#include "station/LinkTexts.h"

namespace q7rk {

namespace {

using LinkState = InstrumentLink::LinkState;

const QString kFailedTitle = QStringLiteral("智能TV仪测试系统");
const QString kFailed = QStringLiteral("智能TV仪未能连接！请检查串口并再次连接试试！");
const QString kBadPort = QStringLiteral("端口号无效：请在“端口”中输入1～65535之间的数字。");
const QString kNoAddress =
    QStringLiteral("请输入仪器的IP地址（“铝箔TV-漏电流参数设置”页，“以太网连接”中的“仪器地址”）。");

} // namespace

LinkSupervisor::LinkSupervisor(SerialLink& serial, EthernetLink& ethernet, ActiveLink& active,
                               const PanelModel& panel, ShellModel& shell, Prompter& prompter,
                               QObject* parent)
    : QObject(parent), m_serial(serial), m_ethernet(ethernet), m_active(active), m_panel(panel),
      m_shell(shell), m_prompter(prompter) {
    connect(&m_serial, &InstrumentLink::stateChanged, this, &LinkSupervisor::onSerialState);
    connect(&m_ethernet, &InstrumentLink::stateChanged, this, &LinkSupervisor::onEthernetState);
}

void LinkSupervisor::openSerial(int comPortChoice) {
    if (m_serial.isSearching()) return; // the menu click during a search is ignored
    m_active.useSerial();
    if (m_serial.isOpen()) {
        // A click during a run must not hold the run up behind a modal box.
        m_prompter.notify(linktexts::connectTitle(), QStringLiteral("串口已经打开！"));
        return;
    }
    m_serial.connectFrom(comPortChoice);
}

void LinkSupervisor::closeSerial() {
    m_serial.closePort();
}

void LinkSupervisor::toggleEthernet() {
    if (m_ethernet.state() != EthernetLink::Closed) {
        m_ethernet.closeLink();
        return;
    }
    const QString address = m_panel.text(0, Box::InstrumentAddress).trimmed();
    // An empty address would be taken as this computer and fail only after the time-out.
    if (address.isEmpty()) {
        m_prompter.inform(linktexts::connectTitle(), kNoAddress);
        return;
    }
    bool ok = false;
    const uint port = m_panel.text(0, Box::InstrumentPort).trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        // Nothing to connect to: the link stays closed.
        m_prompter.inform(linktexts::connectTitle(), kBadPort);
        return;
    }
    m_ethernet.open(address, quint16(port));
}

void LinkSupervisor::shutdown() {
    m_serial.closePort();
    m_ethernet.shutdown();
}

void LinkSupervisor::onSerialState(LinkState state, const QString& port) {
    switch (state) {
    case LinkState::Searching:
        m_shell.setStatusText(ShellModel::LinkPanel,
                              QStringLiteral("正在搜索") + port + QStringLiteral("…"));
        return;
    case LinkState::Ready:
        m_shell.setStatusText(ShellModel::LinkPanel, port + QStringLiteral("通讯正常"));
        // The Ethernet link cannot be started while the serial link is up.
        m_shell.setButtonEnabled(Command::ToggleEthernet, false);
        m_shell.setMenuEnabled(Command::ToggleEthernet, false);
        m_shell.setToolbarVisible(true);
        m_prompter.inform(linktexts::connectTitle(), linktexts::connected());
        return;
    case LinkState::Failed:
        m_shell.setStatusText(ShellModel::LinkPanel, port + QStringLiteral("通讯异常"));
        m_shell.setToolbarVisible(false);
        m_prompter.inform(kFailedTitle, kFailed);
        return;
    case LinkState::Lost:
    case LinkState::Closed:
        // A lost port is shown to the operator, who may open another or connect over
        // Ethernet; 关闭串口 still tidies up after it.
        m_shell.setStatusText(ShellModel::LinkPanel,
                              port + (state == LinkState::Lost ? QStringLiteral("通讯异常")
                                                               : QStringLiteral("串口已关闭")));
        m_shell.setButtonEnabled(Command::ToggleEthernet, true);
        m_shell.setMenuEnabled(Command::ToggleEthernet, true);
        m_shell.setToolbarVisible(false);
        return;
    case LinkState::Connecting:
    case LinkState::Connected:
        return; // not steps of the serial search
    }
}

void LinkSupervisor::onEthernetState(LinkState state, const QString& detail) {
    switch (state) {
    case LinkState::Ready:
        // Also during a run: the instrument answered a handshake again. The message must not
        // stop the run's timers behind a modal box.
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
        m_shell.setToolbarVisible(true);
        m_prompter.notify(linktexts::connectTitle(), linktexts::connected());
        return;
    case LinkState::Connecting:
        setEthernetItems(false);
        m_shell.setStatusText(ShellModel::LinkPanel,
                              QStringLiteral("正在连接") + detail + QStringLiteral("…"));
        return;
    case LinkState::Connected:
        setEthernetItems(false);
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
        return;
    case LinkState::Closed:
    case LinkState::Lost:
    case LinkState::Failed:
        // Refused or dropped goes back quietly; an attempt given up says which step failed.
        setEthernetItems(true);
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯中断"));
        if (state == LinkState::Failed) m_prompter.notify(linktexts::connectTitle(), detail);
        return;
    case LinkState::Searching:
        return; // not a step of the Ethernet link
    }
}

// The toggle stays in reach in every state: while connecting and before the handshake it
// reads 以太网断开 and gives up the attempt. The serial items wait until the connection is
// closed again.
void LinkSupervisor::setEthernetItems(bool closed) {
    const QString caption = closed ? QStringLiteral("以太网连接") : QStringLiteral("以太网断开");
    m_shell.setMenuEnabled(Command::ToggleEthernet, true);
    m_shell.setMenuCaption(Command::ToggleEthernet, caption);
    m_shell.setButtonEnabled(Command::ToggleEthernet, true);
    m_shell.setButtonCaption(Command::ToggleEthernet, caption);
    m_shell.setMenuEnabled(Menu::Connection, true);
    m_shell.setMenuEnabled(Menu::SerialPorts, closed);
    m_shell.setMenuEnabled(Command::CloseSerial, closed);
}

} // namespace q7rk
