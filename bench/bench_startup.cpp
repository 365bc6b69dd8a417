// Start-up of the window with 100 uploads waiting in the plant queue and the plant server away
// (its data source names a local port where nothing listens, then one where a server takes the
// connection and never answers): the time from constructing the main window to its first paint
// with the event loop idle after it, and the time until the start-up retry pass has reported.
// Prints median and 99th percentile in milliseconds.
#include "app/MainWindow.h"
#include "plant/OdbcSources.h"
#include "plant/PlantQueuePresenter.h"
#include "plant/PlantSource.h"
#include "plant/UploadQueue.h"
#include "shell/ScriptedPrompter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Waiting = 100;

// The first paint of any widget after a start; the window is usable once the event loop has
// nothing left of that pass.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// A port on this computer that nobody listens on.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort(); // closed again on return
}

bool fillQueue(const QString& path) {
    const UploadQueue queue(path);
    for (int i = 0; i < Waiting; ++i) {
        PieceUpload piece;
        piece.serial = QStringLiteral("Q%1").arg(i / 3);
        piece.curveNumber = i % 3 + 1;
        piece.riseTime = QStringLiteral("12");
        piece.tvValue = QStringLiteral("201.5");
        piece.maxVoltage = QStringLiteral("203.2");
        piece.date = QDate::currentDate();
        for (int n = 0; n <= 120; ++n)
            piece.curve.push_back(float(n) * 1.7f);
        if (!queue.add(piece, OutboxState::Waiting, QStringLiteral("无法连接工厂数据库")).ok())
            return false;
    }
    const auto count = queue.count();
    return count.ok() && count.value == Waiting;
}

double percentile(std::vector<double> v, int p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * std::size_t(p) / 100)];
}

// Starts the window `starts` times (after two that warm up and write the settings): for each,
// the time to a usable window and to the retry pass's report; empty on a start that did not
// get there within 30 s.
std::pair<std::vector<double>, std::vector<double>> measure(const QString& settings,
                                                            FirstPaint& paints, int starts) {
    std::vector<double> usable, retried;
    for (int r = 0; r < starts + 2; ++r) {
        paints.painted = false;
        double usableMs = -1, retriedMs = -1;
        QEventLoop loop;
        QElapsedTimer clock;
        clock.start();
        auto window = std::make_unique<MainWindow>(settings, std::make_unique<ScriptedPrompter>());
        QObject::connect(&window->station().plantQueue(), &PlantQueuePresenter::queueRetried, &loop,
                         [&] {
                             retriedMs = double(clock.nsecsElapsed()) / 1e6;
                             if (usableMs >= 0) loop.quit();
                         });
        window->show();
        QTimer idle;
        idle.setInterval(0);
        QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
            if (!paints.painted || usableMs >= 0) return;
            usableMs = double(clock.nsecsElapsed()) / 1e6;
            if (retriedMs >= 0) loop.quit();
        });
        idle.start();
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        if (usableMs < 0 || retriedMs < 0) {
            std::fprintf(stderr, "start %d: no paint or no retry report within 30 s\n", r);
            return {};
        }
        if (r >= 2) usable.push_back(usableMs), retried.push_back(retriedMs);
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return {usable, retried};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform's notes about window hints would bury the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // the queue and the result files live in the working folder
    qputenv("ODBCINI", QFile::encodeName(dir.filePath("odbc.ini")));
    const quint16 port = closedPort();
    const QString driver = OdbcSources::findDriver(QStringLiteral("psqlodbcw.so"));
    const PlantStatus source = OdbcSources::writeUserSource(
        QString::fromLatin1(PlantSource::DefaultName),
        {{"Driver", driver.isEmpty() ? QStringLiteral("PostgreSQL Unicode") : driver},
         {"Servername", "127.0.0.1"},
         {"Port", QString::number(port)},
         {"Database", "plant"},
         {"Username", "sa"},
         {"Password", ""},
         // A server that takes the connection and never answers is given up after 2 s.
         {"pqopt", "connect_timeout=2"}});
    if (!source.ok() || !fillQueue(dir.filePath(QString::fromLatin1(UploadQueue::FileName)))) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(source.message));
        return 1;
    }

    FirstPaint paints;
    app.installEventFilter(&paints);
    const auto report = [&](const char* what, int starts) {
        const auto [usable, retried] = measure(dir.filePath("q7rk.ini"), paints, starts);
        if (usable.empty()) return false;
        std::printf("%-52s median %9.3f ms   p99 %9.3f ms\n",
                    qPrintable(QStringLiteral("start-up to a usable window, %1").arg(what)),
                    percentile(usable, 50), percentile(usable, 99));
        std::printf("%-52s median %9.3f ms   p99 %9.3f ms\n",
                    qPrintable(QStringLiteral("start-up to the retry pass's report, %1").arg(what)),
                    percentile(retried, 50), percentile(retried, 99));
        return true;
    };
    if (!report("port closed", 20)) return 1;
    // The same port taken by a server that never answers: the pass waits for the driver's
    // time-out on its own thread while the window is in use.
    QTcpServer mute;
    if (!mute.listen(QHostAddress::LocalHost, port) || !report("server mute", 3)) return 1;
    std::printf("(%d uploads waiting in the plant queue)\n", Waiting);
    return 0;
}
