// The main window in a process of its own, for the tests of how a program ends: it connects to
// the simulator, starts a group with the operator's answers scripted, and says on stdout when
// the run is going ("RUNNING") and when it ended ("ENDED"). It ends as the program does: by
// its window closing, a signal, or the display going away.
//   window_under_test SETTINGS PORT GROUP TIME-SCALE SAVE-ANSWER(yes|no)
#include "app/MainWindow.h"
#include "shell/ScriptedPrompter.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

using namespace q7rk;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) return 64;
    auto prompter = std::make_unique<ScriptedPrompter>();
    prompter->setAnswer({Question::ConfirmStart, Question::QuitDuringRun}, true);
    prompter->setAnswer(Question::SaveResults, args[5] == QLatin1String("yes"));
    prompter->onUnanswered([](Question id, const QString&) {
        std::printf("UNANSWERED %s\n", questionName(id));
        std::fflush(stdout);
    });
    MainWindow window(args[1], std::move(prompter), Timing{}.scaled(args[4].toDouble()));
    window.quitOnTerminationSignals();
    window.show();
    Station& station = window.station();
    const auto say = [](const char* what) {
        std::printf("%s\n", what);
        std::fflush(stdout);
    };
    QObject::connect(&station.run(), &RunController::runStarted, [&] { say("RUNNING"); });
    QObject::connect(&station.run(), &RunController::runEnded, [&] { say("ENDED"); });
    QObject::connect(
        &station.ethernetLink(), &EthernetLink::handshakeReplied, &station,
        [&] {
            const QString group = args[3];
            station.perform(group == QLatin1String("1")     ? Command::RunChannel1
                            : group == QLatin1String("1-2") ? Command::RunChannels12
                                                            : Command::RunChannels123);
        },
        Qt::SingleShotConnection);
    station.connectEthernet(QStringLiteral("127.0.0.1"), args[2]);
    return QApplication::exec();
}
