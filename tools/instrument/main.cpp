// q7rk-instrument: a stand-in for the six-channel TV tester, for tests and demonstrations.

#include "FrameHandler.h"
#include "FrameLog.h"
#include "Options.h"
#include "Replay.h"
#include "Server.h"
#include "version/Version.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace q7rk::instrument;

namespace {

// The signal handler may only write to a descriptor; the event loop reads the other end.
int signalWriteFd = -1;

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalWriteFd, &byte, 1);
}

// Quits the event loop on SIGTERM or SIGINT, so that destructors remove the pty link.
class SignalQuit {
public:
    SignalQuit() {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) return;
        signalWriteFd = fds_[0];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, qApp,
                         &QCoreApplication::quit);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }
    ~SignalQuit() {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        notifier_.reset();
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

int fail(const QString& message) {
    QTextStream(stderr) << "q7rk-instrument: " << message << Qt::endl;
    return 2;
}

// Machine-readable lines a test or script waits for before it connects.
void announce(const Options& options, const Server& server) {
    QTextStream out(stdout);
    if (options.tcp) out << "LISTEN " << server.listenAddress() << ':' << server.port() << '\n';
    if (options.pty) out << "PTY " << server.ptyPath() << '\n';
    out << "READY" << Qt::endl;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(q7rk::version::Number));
    Options options;
    const ParseResult parsed = parseOptions(app.arguments(), options);
    if (parsed.status == ParseStatus::Help) {
        QTextStream(stdout) << parsed.message;
        return 0;
    }
    if (parsed.status == ParseStatus::Error) return fail(parsed.message + " (see --help)");

    FrameLog log;
    if (!options.logPath.isEmpty() && !log.open(options.logPath))
        return fail(options.logPath + ": " + log.errorString());
    FrameHandler handler(options, &log);
    std::unique_ptr<ReplayResponder> replay;
    if (!options.replayPath.isEmpty()) {
        QString error;
        std::optional<LinkRecording> recording = LinkRecording::read(options.replayPath, &error);
        if (!recording) return fail(error);
        replay = std::make_unique<ReplayResponder>(std::move(*recording));
    }
    Server server(options, handler, replay.get());
    QString error;
    if (!server.start(&error)) return fail(error);
    const SignalQuit signalQuit;
    announce(options, server);
    return app.exec();
}
