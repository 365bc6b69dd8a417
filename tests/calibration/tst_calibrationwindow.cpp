#include "app/CalibrationWindow.h"
#include "calibration/CalibrationModel.h"
#include "params/PanelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace q7rk;

template <typename T> T* child(const QWidget& window, const char* name) {
    T* w = window.findChild<T*>(QLatin1String(name));
    if (!w) qFatal("no widget %s", name);
    return w;
}

// The window on the offscreen platform: it shows the model and passes the clicks on.
class CalibrationWindowTest : public QObject {
    Q_OBJECT
private slots:
    void readoutsFollowThePanelAndClicksReachTheModel() {
        QTemporaryDir dir;
        ChannelModel channels;
        channels.lastChannel = 4;
        SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
        PanelModel panel(channels, store);
        panel.setText(5, Box::Text26, QStringLiteral("1.250"));
        CalibrationModel model(channels, store);
        ScriptedPrompter prompter;
        CalibrationWindow window(model, panel, prompter);
        window.show();

        QCOMPARE(child<QLineEdit>(window, "Text2_5")->text(), QStringLiteral("1.250"));
        panel.setText(3, Box::Text25, QStringLiteral("801.6"));
        QCOMPARE(child<QLineEdit>(window, "Text1_3")->text(), QStringLiteral("801.6"));

        auto* channel = child<QComboBox>(window, "Combo1");
        auto* item = child<QComboBox>(window, "Combo2");
        QCOMPARE(channel->count(), 5);
        QCOMPARE(channel->placeholderText(), QStringLiteral("选择校准通道"));
        QCOMPARE(item->itemText(3), QStringLiteral("电流控制校准"));

        auto* up = child<QPushButton>(window, "Command1");
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(prompter.texts(), QStringList{QStringLiteral("请按下拉箭头选择校准通道！")});

        channel->setCurrentIndex(1);
        item->setCurrentIndex(0);
        QTest::mouseClick(child<QRadioButton>(window, "Option2"), Qt::LeftButton);
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(channels.voltageAdjust[1], 1.0005f);
        QVERIFY(child<QPlainTextEdit>(window, "CalibrationLog")
                    ->toPlainText()
                    .contains(QStringLiteral("第2通道  电压采样校准  1 → 1.0005")));

        QTest::mouseClick(child<QPushButton>(window, "Command4"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(CalibrationWindowTest)
#include "tst_calibrationwindow.moc"
