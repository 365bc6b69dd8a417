// q7rk-run: one test run of a channel group without a window, for automation and the
// end-to-end tests. Prints one JSON document on stdout.
#include "HeadlessRun.h"
#include "logging/DailyLog.h"
#include "settings/WorkingFolder.h"
#include "settings/WorkingFolderLock.h"
#include "station/LinkTracing.h"
#include "station/TerminationSignals.h"
#include "version/Version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace q7rk;

namespace {

int usage(const QString& error) {
    std::fprintf(stderr, "q7rk-run: %s (see --help)\n", qPrintable(error));
    return HeadlessRun::BadUsage;
}

bool yesNo(const QString& text, bool& out) {
    if (text == QLatin1String("yes"))
        out = true;
    else if (text == QLatin1String("no"))
        out = false;
    else
        return false;
    return true;
}

// yes, no, or the pieces answered yes ("1,3"; the others no).
bool pieceAnswers(const QString& text, std::array<bool, 6>& out) {
    bool all = false;
    if (yesNo(text, all)) {
        out.fill(all);
        return true;
    }
    out.fill(false);
    for (const QString& item : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = item.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > 6) return false;
        out[std::size_t(n - 1)] = true;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The charts still draw (into images): a window system is not needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("q7rk-run"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::Number));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs one test of a channel group without a window and prints a JSON report.\n"
        "Exit codes: 0 the run ended by itself (or by a stop), 2 no link, 3 the start was\n"
        "declined or refused (test number taken, nothing selected), 4 the link was lost or\n"
        "the instrument fell silent during the run, 5 --max-seconds ran out (the run was\n"
        "stopped and the instrument told), 6 stopped by SIGTERM, SIGINT, SIGHUP or SIGQUIT\n"
        "(the instrument was told the test ended), 7 the working directory is in use by\n"
        "another q7rk or q7rk-run (its process id on stderr), 64 bad usage, or a\n"
        "question no --answer-* option answers (its id and text on stderr)."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {"settings", "Settings file (INI, sections canshu and topic); a copy is used.", "FILE"},
        {"link", "tcp:HOST:PORT or serial:DEVICE", "LINK"},
        {"group", "Channel group: 1-3, 1-2 or 1.", "GROUP"},
        {"workdir",
         "Working directory (result files, upload queue); created when missing. Default: the "
         "current one, or the user's data folder when installed (as the window).",
         "DIR"},
        {"time-scale", "Divide every interval by F (default 1).", "F", "1"},
        {"answer-start", "Answer to the start question: yes or no (default yes).", "yes|no", "yes"},
        {"answer-save",
         "Answer to the save question: yes or no (default no). Yes runs the save pass into "
         "the result files of the working directory (\"saved\" in the JSON).",
         "yes|no", "no"},
        {"answer-upload",
         "Answer to the plant upload questions: yes or no for every piece, or the pieces to "
         "upload, e.g. 1,3 (the others no). Default no. When the settings ask once for a "
         "group (uploadConfirm=once), that question is answered yes only if every piece of "
         "the group is to be uploaded.",
         "yes|no|N,N", "no"},
        {"answer-recovery",
         "Answer to the question about tests judged before the program last went and not "
         "stored (the recovery journal of the working directory): yes saves them as the save "
         "pass would have, no gives them up. Without it such a journal ends the runner with "
         "exit 64.",
         "yes|no"},
        {"recover",
         "Only handle the recovery journal (with --answer-recovery), then exit: 0 nothing left "
         "in it, 1 tests stay (their save was refused or failed). --link and --group are not "
         "needed."},
        {"foil", "Open this foil from the plant database before the run.", "SERIAL"},
        {"max-seconds",
         "Give up after S seconds: a run is stopped as the stop button does and the "
         "instrument told, then exit 5.",
         "S"},
        {"report", "After the run, write the group's report as a PDF file.", "FILE.pdf"},
        {"trace",
         "Record every frame of the link, with its time, into FILE (q7rk-instrument --replay "
         "FILE plays it back).",
         "FILE"},
    });
    p.process(app);

    HeadlessRun::Options o;
    o.recoverOnly = p.isSet("recover");
    if (!o.recoverOnly && (!p.isSet("link") || !p.isSet("group")))
        return usage(QStringLiteral("--link and --group are required"));
    o.link = p.value("link");
    o.group = p.value("group");
    if (!o.recoverOnly && !HeadlessRun::groupCommand(o.group))
        return usage(QStringLiteral("--group takes 1-3, 1-2 or 1"));
    if (p.isSet("answer-recovery")) {
        bool recover = false;
        if (!yesNo(p.value("answer-recovery"), recover))
            return usage(QStringLiteral("--answer-recovery takes yes or no"));
        o.answerRecovery = recover;
    }
    bool ok = false;
    const double scale = p.value("time-scale").toDouble(&ok);
    if (!ok || scale <= 0) return usage(QStringLiteral("--time-scale takes a positive number"));
    o.timing = Timing{}.scaled(scale);
    if (!yesNo(p.value("answer-start"), o.answerStart) ||
        !yesNo(p.value("answer-save"), o.answerSave) ||
        !pieceAnswers(p.value("answer-upload"), o.answerUpload))
        return usage(
            QStringLiteral("answers are yes or no (--answer-upload also pieces 1-6: 1,3)"));
    o.foil = p.value("foil");
    if (p.isSet("max-seconds")) {
        o.maxSeconds = p.value("max-seconds").toDouble(&ok);
        if (!ok || o.maxSeconds <= 0)
            return usage(QStringLiteral("--max-seconds takes a positive number"));
    }
    if (p.isSet("report")) o.reportPath = QFileInfo(p.value("report")).absoluteFilePath();
    const QString tracePath =
        p.isSet("trace") ? QFileInfo(p.value("trace")).absoluteFilePath() : QString();
    // Paths given on the command line are taken from where the runner was started.
    const QString settings =
        p.isSet("settings") ? QFileInfo(p.value("settings")).absoluteFilePath() : QString();
    if (const QString error =
            workingFolder::enter(workingFolder::forThisProgram(p.value("workdir")));
        !error.isEmpty())
        return usage(QStringLiteral("cannot enter the working directory: ") + error);
    WorkingFolderLock folderLock(QDir::currentPath());
    if (const QString refused = folderLock.take(); !refused.isEmpty()) {
        std::fprintf(stderr, "q7rk-run: %s\n", qPrintable(refused));
        return WorkingFolderLock::Refused;
    }
    // This folder's log, from here to the end.
    DailyLog log(QDir::currentPath(), QStringLiteral("q7rk-run"));
    log.install();
    log.add(QtInfoMsg, QStringLiteral("q7rk"),
            QStringLiteral("q7rk-run %1 started in %2")
                .arg(QString::fromLatin1(version::Number), QDir::currentPath()));

    // The runner works on a copy: the user's store is never touched.
    QTemporaryDir scratch;
    o.settingsCopy = scratch.filePath(QStringLiteral("settings.ini"));
    if (!settings.isEmpty() && !QFile::copy(settings, o.settingsCopy))
        return usage(QStringLiteral("cannot read --settings ") + p.value("settings"));

    HeadlessRun run(o);
    if (QString error;
        !tracePath.isEmpty() && !run.station().linkTracing().traceSession(tracePath, &error))
        return usage(QStringLiteral("cannot write --trace %1: %2").arg(tracePath, error));
    q7rk::TerminationSignals termination;
    QObject::connect(&termination, &q7rk::TerminationSignals::received, &run,
                     &HeadlessRun::terminate);
    int exitCode = HeadlessRun::Ended;
    QObject::connect(&run, &HeadlessRun::finished, &app, [&](int code) {
        exitCode = code;
        app.quit();
    });
    // Inside the event loop, so that an immediate end still leaves it.
    QTimer::singleShot(0, &run, &HeadlessRun::begin);
    app.exec();
    const QByteArray json = QJsonDocument(run.report()).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return exitCode;
}
