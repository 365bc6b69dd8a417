#include "app/MainWindow.h"
#include "app/Translations.h"
#include "params/Box.h"
#include "station/TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(q7rk::SettingsStore::ApplicationName));
    q7rk::installChineseTranslation(app);

    // Only the demo passes an option: the simulator's address, so that 以太网连接 finds it
    // without typing.
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({QStringLiteral("instrument"),
                       QStringLiteral("Fill in the instrument's network address."),
                       QStringLiteral("HOST:PORT")});
    options.process(app);

    // Every caption is Chinese; prefer a face that has all of them.
    const QString cjkFace = QStringLiteral("WenQuanYi Zen Hei");
    if (QFontDatabase::families().contains(cjkFace)) {
        QFont font(cjkFace);
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }

    q7rk::MainWindow window;
    if (options.isSet(QStringLiteral("instrument"))) {
        const QString peer = options.value(QStringLiteral("instrument"));
        const qsizetype colon = peer.lastIndexOf(QLatin1Char(':'));
        window.panel().setText(0, q7rk::boxes::InstrumentAddress, peer.left(colon));
        if (colon >= 0) window.panel().setText(0, q7rk::boxes::InstrumentPort, peer.mid(colon + 1));
    }
    // SIGTERM or SIGINT stop a run and tell the instrument before the program goes.
    q7rk::TerminationSignals termination;
    QObject::connect(&termination, &q7rk::TerminationSignals::received, &window,
                     [&window] { window.station().quitWithoutQuestions(); });
    window.show();
    return QApplication::exec();
}
