#include "SerialLink.h"

#include "link/Frame.h"
#include "link/LinkTexts.h"
#include "link/SerialTransport.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

namespace q7rk {

namespace {

const QString kFailedTitle = QStringLiteral("智能TV仪测试系统");
const QString kFailed = QStringLiteral("智能TV仪未能连接！请检查串口并再次连接试试！");

QString com(int port) {
    return QStringLiteral("COM") + QString::number(port);
}

} // namespace

SerialLink::SerialLink(ChannelModel& channels, SettingsStore& settings, ShellModel& shell,
                       Prompter& prompter, const Timing& timing, QObject* parent)
    : QObject(parent), m_channels(channels), m_settings(settings), m_shell(shell),
      m_prompter(prompter), m_timing(timing) {
    m_replyTimer.setSingleShot(true);
    m_pauseTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &SerialLink::onReplyWaitOver);
    connect(&m_pauseTimer, &QTimer::timeout, this, &SerialLink::judgePort);
}

SerialLink::~SerialLink() = default;

QString SerialLink::devicePath(int port) const {
    const QString configured =
        m_settings.read(section::Canshu, indexedKey(QStringLiteral("comdev("), port)).trimmed();
    if (!configured.isEmpty()) return configured;
#ifdef Q_OS_WIN
    return com(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

bool SerialLink::isOpen() const {
    return m_open && m_transport && m_transport->isOpen();
}

Transport* SerialLink::transport() const {
    return isOpen() ? m_transport.get() : nullptr;
}

void SerialLink::connectFrom(int comPortChoice) {
    if (m_searching) return; // one search at a time; the menu click during a search is ignored
    m_channels.serialLinkActive = true;
    if (isOpen()) {
        m_prompter.inform(linktexts::connectTitle(), QStringLiteral("串口已经打开！"));
        return;
    }
    m_choice = comPortChoice;
    m_port = comPortChoice;
    m_searching = true;
    tryPort();
}

void SerialLink::tryPort() {
    if (m_port > LastPort) {
        failed(); // panel 7 then names port 13: the search ran past the last port
        return;
    }
    m_shell.setStatusText(ShellModel::LinkPanel,
                          QStringLiteral("正在搜索") + com(m_port) + QStringLiteral("…"));
    m_transport = std::make_unique<SerialTransport>(devicePath(m_port));
    if (!m_transport->open()) {
        failed(); // a port that cannot be opened ends the search at once
        return;
    }
    m_transport->clearInput();
    connect(m_transport.get(), &Transport::readyRead, this, [this] {
        if (m_replyTimer.isActive() && m_transport->bytesAvailable() >= frame::ReplyMinSize)
            onReplyWaitOver();
    });
    if (!m_transport->write(buildHandshake())) {
        failed();
        return;
    }
    m_replyTimer.start(m_timing.replyTimeoutMs);
}

// A reply is there, or the time-out ran out: the port is judged after a short pause, which
// lets the rest of a reply arrive.
void SerialLink::onReplyWaitOver() {
    m_replyTimer.stop();
    m_pauseTimer.start(m_timing.searchPauseMs);
}

void SerialLink::judgePort() {
    if (m_transport->bytesAvailable() >= frame::ReplyMinSize) {
        // Stored as the menu choice, which may differ from the port that answers.
        m_settings.write(section::Canshu, QStringLiteral("comport"), QString::number(m_choice));
        if (isHandshakeReply(m_transport->readAll())) {
            found();
            return;
        }
    }
    dropPort();
    ++m_port;
    tryPort();
}

void SerialLink::found() {
    m_searching = false;
    m_open = true;
    disconnect(m_transport.get(), &Transport::readyRead, this, nullptr);
    m_channels.serialLinkActive = true;
    m_shell.setStatusText(ShellModel::LinkPanel, com(m_port) + QStringLiteral("通讯正常"));
    // The Ethernet link cannot be started while the serial link is up.
    m_shell.setButtonEnabled(QStringLiteral("RJ45_connect"), false);
    m_shell.setMenuEnabled(QStringLiteral("RJ45"), false);
    m_shell.setToolbarVisible(true);
    m_prompter.inform(linktexts::connectTitle(), linktexts::connected());
    emit searchFinished(true);
}

void SerialLink::failed() {
    m_searching = false;
    dropPort();
    m_shell.setStatusText(ShellModel::LinkPanel, com(m_port) + QStringLiteral("通讯异常"));
    m_shell.setToolbarVisible(false);
    m_prompter.inform(kFailedTitle, kFailed);
    emit searchFinished(false);
}

void SerialLink::dropPort() {
    m_replyTimer.stop();
    m_pauseTimer.stop();
    if (m_transport) {
        m_transport->close();
        m_transport.reset();
    }
    m_open = false;
}

void SerialLink::closePort() {
    if (!isOpen()) return;
    dropPort();
    m_shell.setStatusText(ShellModel::LinkPanel, com(m_choice) + QStringLiteral("串口已关闭"));
    m_shell.setButtonEnabled(QStringLiteral("RJ45_connect"), true);
    m_shell.setMenuEnabled(QStringLiteral("RJ45"), true);
    m_shell.setToolbarVisible(false);
}

} // namespace q7rk
