#include "app/MainWindow.h"
#include "app/Translations.h"
#include "params/Box.h"
#include "settings/Timing.h"
#include "station/TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <cmath>
#include <cstdio>

namespace {

// What the runner answers to bad usage, so scripts treat both programs alike.
constexpr int BadUsage = 64;

int usage(const QString& error) {
    std::fprintf(stderr, "q7rk: %s（见 --help）\n", qPrintable(error));
    return BadUsage;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(q7rk::SettingsStore::ApplicationName));
    q7rk::installChineseTranslation(app);

    // The demo passes the simulator's address, so that 以太网连接 finds it without typing,
    // and a trial against a sped-up simulator the same speed for the window.
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Q-7RK-M智能TV仪测试系统"));
    const QCommandLineOption help = options.addHelpOption();
    options.addOption({QStringLiteral("instrument"), QStringLiteral("填入仪器的网络地址和端口。"),
                       QStringLiteral("HOST:PORT")});
    options.addOption({QStringLiteral("time-scale"),
                       QStringLiteral("所有时间间隔（查询、采样、超时）除以F，"
                                      "与 q7rk-instrument --time-scale F 同速（默认1）。"),
                       QStringLiteral("F"), QStringLiteral("1")});
    if (!options.parse(QApplication::arguments())) return usage(options.errorText());
    if (options.isSet(help)) options.showHelp(0);

    bool ok = false;
    const QString scaleText = options.value(QStringLiteral("time-scale"));
    const double scale = scaleText.toDouble(&ok);
    if (!ok || !std::isfinite(scale) || !(scale > 0))
        return usage(
            QStringLiteral("--time-scale 需要一个正数（例如 20），而不是“%1”").arg(scaleText));
    const q7rk::Timing timing = q7rk::Timing{}.scaled(scale);

    // Every caption is Chinese; prefer a face that has all of them.
    const QString cjkFace = QStringLiteral("WenQuanYi Zen Hei");
    if (QFontDatabase::families().contains(cjkFace)) {
        QFont font(cjkFace);
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }

    q7rk::MainWindow window(q7rk::SettingsStore::defaultFilePath(), nullptr, timing);
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
