// q7rk-soak: a station's weeks in one process. Runs TV groups of channels 1-3 one after
// another against an instrument (the simulator, or a bench set aside for it), saving each and
// uploading its pieces, and prints resident memory, open files and SQL connections as it goes.
// Exit codes: 0 all groups ran and nothing grew, 1 a group failed or something grew, 64 bad
// usage.
#include "SoakRun.h"
#include "version/Version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>

using namespace q7rk;

int main(int argc, char** argv) {
    // The charts still draw (into images): a window system is not needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("q7rk-soak"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::Number));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs TV groups of channels 1-3 one after another, saving each and uploading its\n"
        "pieces, and watches the process for growth. Exit codes: 0 all groups ran and nothing\n"
        "grew, 1 a group failed or something grew, 64 bad usage."));
    p.addHelpOption();
    p.addVersionOption();
    const SoakRun::Options defaults;
    p.addOptions({
        {"settings", "Settings file (INI); its delay times set a group's length.", "FILE"},
        {"link", "tcp:HOST:PORT of the instrument.", "LINK"},
        {"workdir", "Working directory (result files, upload queue); created when missing.", "DIR"},
        {"groups", "Groups to run (default 200).", "N", "200"},
        {"time-scale", "Divide every interval by F (default 1).", "F", "1"},
        {"prefix", "Test numbers PREFIX<group><A|B|C> (default E).", "TEXT", "E"},
        {"every", "Print the figures every N groups (default 20).", "N", "20"},
        {"warm-up", "Groups before growth counts (default: half of them, at least 10).", "N"},
        {"rss-bound", "Resident memory growth allowed after the warm-up, kB a group.", "KB",
         QString::number(defaults.rssBoundKbPerGroup)},
    });
    p.process(app);

    SoakRun::Options o;
    o.settings = p.value("settings");
    o.link = p.value("link");
    bool groupsOk = false, scaleOk = false, everyOk = false, boundOk = false;
    o.groups = p.value("groups").toInt(&groupsOk);
    const double scale = p.value("time-scale").toDouble(&scaleOk);
    o.every = p.value("every").toInt(&everyOk);
    o.rssBoundKbPerGroup = p.value("rss-bound").toDouble(&boundOk);
    o.prefix = p.value("prefix");
    o.warmUp = p.isSet("warm-up") ? p.value("warm-up").toInt() : std::max(10, o.groups / 2);
    if (o.settings.isEmpty() || o.link.isEmpty() || !groupsOk || o.groups < 1 || !scaleOk ||
        scale <= 0 || o.warmUp < 1 || !everyOk || !boundOk) {
        std::fprintf(stderr, "q7rk-soak: --settings and --link are needed, and the numbers must "
                             "be positive (see --help)\n");
        return 64;
    }
    o.settings = QFileInfo(o.settings).absoluteFilePath();
    o.timing = Timing{}.scaled(scale);
    if (p.isSet("workdir") &&
        (!QDir().mkpath(p.value("workdir")) || !QDir::setCurrent(p.value("workdir")))) {
        std::fprintf(stderr, "q7rk-soak: cannot work in %s\n", qPrintable(p.value("workdir")));
        return 64;
    }

    SoakRun run(o);
    int code = 0;
    QObject::connect(&run, &SoakRun::finished, &app, [&](const QString& problem) {
        const QString grew = run.watch().growth();
        std::printf("%d groups, %d pieces uploaded, %d queued\n", run.groupsDone(),
                    run.piecesUploaded(), run.piecesQueued());
        for (const QString& said : {problem, grew})
            if (!said.isEmpty()) std::printf("%s\n", qPrintable(said));
        code = problem.isEmpty() && grew.isEmpty() ? 0 : 1;
        app.quit();
    });
    QMetaObject::invokeMethod(&run, &SoakRun::begin, Qt::QueuedConnection);
    app.exec();
    return code;
}
