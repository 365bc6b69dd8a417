#include "app/MainWindow.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(q7rk::SettingsStore::ApplicationName));

    // Every caption is Chinese; prefer a face that has all of them.
    const QString cjkFace = QStringLiteral("WenQuanYi Zen Hei");
    if (QFontDatabase::families().contains(cjkFace)) {
        QFont font(cjkFace);
        font.setPointSize(QApplication::font().pointSize());
        QApplication::setFont(font);
    }

    q7rk::MainWindow window;
    window.show();
    return QApplication::exec();
}
