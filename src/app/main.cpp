#include "app/MainWindow.h"
#include "app/Translations.h"
#include "kinds/Box.h"
#include "logging/DailyLog.h"
#include "params/PanelModel.h"
#include "plant/UploadQueue.h"
#include "results/ResultSchema.h"
#include "settings/ProgramTitle.h"
#include "settings/Timing.h"
#include "settings/WorkingFolder.h"
#include "settings/WorkingFolderLock.h"
#include "station/LinkTracing.h"
#include "version/Version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <cmath>
#include <cstdio>

namespace {

// What the runner answers to bad usage, so scripts treat both programs alike.
constexpr int BadUsage = 64;

int usage(const QString& error) {
    std::fprintf(stderr, "q7rk: %s（见 --help）\n", qPrintable(error));
    return BadUsage;
}

// The files an earlier start kept in the home folder, taken along into the data folder.
QStringList workingFiles() {
    QStringList names{QString::fromLatin1(q7rk::UploadQueue::FileName)};
    for (q7rk::TestKind kind : q7rk::allKinds())
        names.append(QString::fromUtf8(q7rk::description(kind).fileName));
    return names;
}

// Results and the upload queue go to the working folder: --workdir, or the user's data
// folder when the program is installed, or where it was started (a build tree).
bool enterWorkingFolder(const QString& requested) {
    const bool installed =
        q7rk::workingFolder::runsInstalled(QCoreApplication::applicationDirPath());
    const QString dataFolder = q7rk::workingFolder::installedDataFolder();
    const QString folder = q7rk::workingFolder::choose(requested, installed, dataFolder);
    if (folder.isEmpty()) return true;
    if (const QString error = q7rk::workingFolder::enter(folder); !error.isEmpty()) {
        std::fprintf(stderr, "q7rk: %s\n", qPrintable(error));
        return false;
    }
    if (folder != dataFolder) return true;
    QStringList errors;
    q7rk::workingFolder::adoptEarlierFiles(QDir::homePath(), folder, workingFiles(), &errors);
    for (const QString& error : errors)
        std::fprintf(stderr, "q7rk: %s\n", qPrintable(error));
    return true;
}

// On stderr for a script, and in a box for an operator who started it from the desktop.
int refuseFolder(const QString& message) {
    std::fprintf(stderr, "q7rk: %s\n", qPrintable(message));
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QMessageBox::critical(nullptr, q7rk::programTitle::full(), message);
    return q7rk::WorkingFolderLock::Refused;
}

// --help and --version answer without a screen too (over ssh, in a package test).
void withoutScreenForHelpOrVersion(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    withoutScreenForHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(q7rk::programTitle::shortName());
    QApplication::setApplicationVersion(QString::fromLatin1(q7rk::version::Number));
    q7rk::installChineseTranslation(app);

    // The demo passes the simulator's address, so that 以太网连接 finds it without typing,
    // and a trial against a sped-up simulator the same speed for the window.
    QCommandLineParser options;
    options.setApplicationDescription(q7rk::programTitle::product());
    const QCommandLineOption help = options.addHelpOption();
    const QCommandLineOption version = options.addVersionOption();
    options.addOption({QStringLiteral("instrument"), QStringLiteral("填入仪器的网络地址和端口。"),
                       QStringLiteral("HOST:PORT")});
    options.addOption({QStringLiteral("time-scale"),
                       QStringLiteral("所有时间间隔（查询、采样、超时）除以F，"
                                      "与 q7rk-instrument --time-scale F 同速（默认1）。"),
                       QStringLiteral("F"), QStringLiteral("1")});
    options.addOption({QStringLiteral("workdir"),
                       QStringLiteral("结果文件和工厂数据待传队列所在的文件夹（没有则建立）。"
                                      "默认：安装后为用户数据文件夹，在构建目录中为当前文件夹。"),
                       QStringLiteral("DIR")});
    options.addOption(
        {QStringLiteral("trace"),
         QStringLiteral("把与仪器之间的每一帧连同时间记入文件（q7rk-instrument --replay "
                        "可回放）。"),
         QStringLiteral("FILE")});
    if (!options.parse(QApplication::arguments())) return usage(options.errorText());
    if (options.isSet(help)) options.showHelp(0);
    // The application name is the settings' (with an old version number in it): say ours.
    if (options.isSet(version)) {
        std::printf("q7rk %s\n", q7rk::version::Number);
        return 0;
    }

    bool ok = false;
    const QString scaleText = options.value(QStringLiteral("time-scale"));
    const double scale = scaleText.toDouble(&ok);
    if (!ok || !std::isfinite(scale) || !(scale > 0))
        return usage(
            QStringLiteral("--time-scale 需要一个正数（例如 20），而不是“%1”").arg(scaleText));
    const q7rk::Timing timing = q7rk::Timing{}.scaled(scale);
    // Taken from where the program was started, before it moves to its working folder.
    const QString tracePath =
        options.isSet(QStringLiteral("trace"))
            ? QFileInfo(options.value(QStringLiteral("trace"))).absoluteFilePath()
            : QString();
    const QString requestedFolder = options.value(QStringLiteral("workdir"));
    if (!enterWorkingFolder(requestedFolder) && !requestedFolder.isEmpty())
        return usage(QStringLiteral("--workdir 无法使用：%1").arg(requestedFolder));

    // Every caption is Chinese; prefer a face that has all of them.
    const QString cjkFace = QStringLiteral("WenQuanYi Zen Hei");
    if (QFontDatabase::families().contains(cjkFace)) {
        QFont font(cjkFace);
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }

    q7rk::WorkingFolderLock folderLock(QDir::currentPath());
    if (const QString refused = folderLock.take(); !refused.isEmpty()) return refuseFolder(refused);
    // This folder's log, from here to the end.
    q7rk::DailyLog log(QDir::currentPath(), QStringLiteral("q7rk"));
    log.install();
    log.add(QtInfoMsg, QStringLiteral("q7rk"),
            QStringLiteral("q7rk %1 started in %2")
                .arg(QString::fromLatin1(q7rk::version::Number), QDir::currentPath()));

    q7rk::MainWindow window(q7rk::SettingsStore::defaultFilePath(), nullptr, timing);
    if (options.isSet(QStringLiteral("instrument"))) {
        const QString peer = options.value(QStringLiteral("instrument"));
        const qsizetype colon = peer.lastIndexOf(QLatin1Char(':'));
        window.panel().setText(0, q7rk::Box::InstrumentAddress, peer.left(colon));
        if (colon >= 0) window.panel().setText(0, q7rk::Box::InstrumentPort, peer.mid(colon + 1));
    }
    if (QString error;
        !tracePath.isEmpty() && !window.station().linkTracing().traceSession(tracePath, &error))
        return usage(QStringLiteral("--trace 无法写入 %1：%2").arg(tracePath, error));
    window.quitOnTerminationSignals();
    window.show();
    return QApplication::exec();
}
