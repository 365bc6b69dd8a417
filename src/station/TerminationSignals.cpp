#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace q7rk {

namespace {

int g_pair[2] = {-1, -1};

// A kill, Ctrl+C, the terminal or ssh session that started the program gone (SIGHUP), and
// Ctrl+\ (SIGQUIT): each ends a run the ordinary way, result frames included.
constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

extern "C" void onTerminationSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // Only async-signal-safe calls here; a full pipe just loses a repeated signal.
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pair) != 0) return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        if (::read(g_pair[1], &byte, 1) == 1) emit received(int(byte));
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kHandled)
        ::sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    for (int number : kHandled)
        std::signal(number, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& fd : g_pair) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

} // namespace q7rk
