// The main window in a process of its own, for the tests of how a program ends: it connects to
// the simulator, starts a group with the operator's answers scripted, and says on stdout when
// the run is going ("RUNNING"), when it ended ("ENDED") and when the plant upload is asked
// ("UPLOAD-ASKED"). It ends as the program does: by its window closing, a signal, the display
// going away, or a kill.
//   window_under_test SETTINGS PORT GROUP TIME-SCALE SAVE-ANSWER(yes|no) [UPLOAD(yes|hold)]
// hold: the upload question stays open until the process is killed.
#include "app/MainWindow.h"
#include "execution/RunController.h"
#include "link/EthernetLink.h"
#include "shell/ScriptedPrompter.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace q7rk;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6 && args.size() != 7) return 64;
    const QString upload = args.value(6);
    auto prompter = std::make_unique<ScriptedPrompter>();
    prompter->setAnswer({Question::ConfirmStart, Question::QuitDuringRun}, true);
    prompter->setAnswer(Question::SaveResults, args[5] == QLatin1String("yes"));
    for (int n = 1; n <= 6 && upload == QLatin1String("yes"); ++n)
        prompter->setAnswer({Question::UploadPiece, n}, true);
    prompter->onAsked([](QuestionKey key) {
        if (key.id != Question::UploadPiece) return;
        std::printf("UPLOAD-ASKED\n");
        std::fflush(stdout);
    });
    prompter->onUnanswered([upload](Question id, const QString&) {
        std::printf("UNANSWERED %s\n", questionName(id));
        std::fflush(stdout);
        // The question stays on the screen, as an operator away from the bench leaves it.
        while (upload == QLatin1String("hold") && id == Question::UploadPiece)
            std::this_thread::sleep_for(std::chrono::seconds(1));
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
