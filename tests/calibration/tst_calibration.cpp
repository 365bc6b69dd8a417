#include "app/CalibrationWindow.h"
#include "calibration/CalibrationModel.h"
#include "params/PanelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "support/TestStation.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <optional>

using namespace q7rk;

namespace {

const QString Canshu = QStringLiteral("canshu");

QString key(const char* base, int i) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(i);
}

template <typename T> T* child(const QWidget& window, const char* name) {
    T* w = window.findChild<T*>(QLatin1String(name));
    if (!w) qFatal("no widget %s", name);
    return w;
}

} // namespace

class CalibrationTest : public QObject {
    Q_OBJECT
private slots:
    void init() { start(); }

    void choicesAndSteps() {
        start([](SettingsStore& s) { s.write(Canshu, key("Iadjust", 4), QStringLiteral("1.2")); });
        // The list is built when the window opens, not when the range changes.
        m_b->channels.lastChannel = 5;
        QCOMPARE(m_b->model.channelItems().size(), 3);
        m_b->model.open();
        QCOMPARE(m_b->model.channelItems().last(), QStringLiteral("第6通道校准"));

        // Steps without a channel or an item are refused and change nothing.
        m_b->model.increase(m_b->prompter);
        m_b->model.setChannel(2);
        m_b->model.increase(m_b->prompter);
        QCOMPARE(m_b->prompter.texts(),
                 (QStringList{"请按下拉箭头选择校准通道！", "请按下拉箭头选择校准项目！"}));
        QVERIFY(m_b->model.lastEntries(10).isEmpty());

        // Steps multiply and reach store and memory; the poll frame takes KV and KI from memory.
        choose(1, CalibrationItem::VoltageControl);
        m_b->model.increase(m_b->prompter);
        QCOMPARE(m_b->channels.KV[1], 1.01f);
        QCOMPARE(stored(key("KV", 1)), QStringLiteral("1.01"));
        m_b->model.decrease(m_b->prompter);
        QCOMPARE(stored(key("KV", 1)), QStringLiteral("0.9999")); // steps multiply
        QCOMPARE(m_b->channels.KV[1], 0.9999f);

        choose(0, CalibrationItem::CurrentControl, true);
        m_b->model.increase(m_b->prompter);
        QCOMPARE(stored(key("KI", 0)), QStringLiteral("1.0005"));
        m_b->model.decrease(m_b->prompter);
        QCOMPARE(m_b->channels.KI[0], float(1.0005f * 0.9995));
        QCOMPARE(m_b->prompter.shown().size(), 2); // the two refusals only

        // A step starts from the stored factor, and memory follows the store for all four.
        m_b->channels.currentAdjust[4] = 3;
        m_b->channels.lastChannel = 5;
        m_b->model.open();
        choose(4, CalibrationItem::CurrentSampling);
        m_b->model.increase(m_b->prompter);
        QCOMPARE(m_b->channels.currentAdjust[4], float(1.2f * 1.01));
        QCOMPARE(m_b->channels.KV[4], 1.0f);
    }

    void restoreAndLog() {
        start([](SettingsStore& s) {
            s.write(Canshu, key("hxfd", 3), QStringLiteral("4"));
            s.write(Canshu, QStringLiteral("hxfd16"), QStringLiteral("2"));
        });
        choose(1, CalibrationItem::VoltageSampling);
        m_b->model.increase(m_b->prompter);
        m_b->channels.KI[5] = 3;
        m_b->channels.timeScale[3] = 4;
        m_b->model.setOperatorSource([] { return QStringLiteral("李四"); });
        // Asked first: No keeps every factor.
        m_b->prompter.setAnswer(Question::RestoreCalibrationDefaults, false);
        m_b->model.restoreDefaults(m_b->prompter);
        QCOMPARE(stored(key("Vadjust", 1)), QStringLiteral("1.01"));
        QCOMPARE(m_b->prompter.texts(),
                 QStringList{QStringLiteral("确定要将全部通道的校准系数恢复为默认值吗？")});
        m_b->prompter.clear();
        m_b->prompter.setAnswer(Question::RestoreCalibrationDefaults, true);
        m_b->model.restoreDefaults(m_b->prompter);
        QCOMPARE(m_b->prompter.shown().size(), 1); // the question only
        for (int k = 0; k < ChannelCount; ++k) {
            for (const char* base : {"Vadjust", "Iadjust", "KV", "KI"})
                QCOMPARE(stored(key(base, k)), QStringLiteral("1"));
            QCOMPARE(stored(key("hxfd", k)), QStringLiteral("0.03125"));
            QCOMPARE(m_b->channels.timeScale[k], 0.03125f);
            for (int n = 0; n < CalibrationItemCount; ++n)
                QCOMPARE(m_b->model.factor(k, CalibrationItem(n)), 1.0f);
        }
        QCOMPARE(stored(QStringLiteral("hxfd16")), QStringLiteral("0.125"));
        QCOMPARE(m_b->channels.groupTimeScale, 0.125f);
        const auto entries = m_b->model.lastEntries(5);
        QCOMPARE(entries.size(), 2); // the step and the restore as one entry
        QCOMPARE(entries[1].item, QStringLiteral("恢复默认值"));
        QCOMPARE(entries[1].oldValue, QStringLiteral("Vadjust(1)=1.01"));
        QCOMPARE(entries[1].operatorName, QStringLiteral("李四"));

        // 撤销上次恢复 puts back what the restore threw away, from the log.
        m_b->prompter.setAnswer(Question::UndoCalibrationRestore, true);
        QVERIFY(m_b->model.undoLastRestore(m_b->prompter));
        QCOMPARE(stored(key("Vadjust", 1)), QStringLiteral("1.01"));
        QCOMPARE(m_b->model.factor(1, CalibrationItem::VoltageSampling), 1.01f);
        QCOMPARE(stored(key("KI", 5)), QStringLiteral("1"));
        QCOMPARE(m_b->model.lastEntries(1).first().item, QStringLiteral("撤销恢复默认值"));
        m_b->model.restoreDefaults(m_b->prompter);
        m_b->prompter.clear();

        // Every change is logged; another opening of the window reads the same log.
        choose(2, CalibrationItem::CurrentSampling);
        for (int n = 0; n < 3; ++n)
            m_b->model.increase(m_b->prompter);
        m_b->model.decrease(m_b->prompter);

        SettingsStore reread(m_b->settings.filePath());
        CalibrationModel again(m_b->channels, reread);
        const auto last = again.lastEntries(2);
        QCOMPARE(last[0].channel, QStringLiteral("第3通道"));
        QCOMPARE(last[0].newValue, last[1].oldValue);
        QCOMPARE(last[1].newValue, CalibrationModel::factorText(m_b->channels.currentAdjust[2]));
        QCOMPARE(again.lastEntries(100).size(), 8);

        // A log that cannot be written is told; the factor is still kept.
        QFile::remove(m_b->model.logFilePath());
        QVERIFY(QDir().mkpath(m_b->model.logFilePath()));
        m_b->model.increase(m_b->prompter);
        QCOMPARE(m_b->prompter.texts().size(), 1);
        QVERIFY(m_b->prompter.texts().first().startsWith(QStringLiteral("校准记录无法写入")));
    }

    void storedTextIsShortestThatReadsBack() {
        QList<float> values{1.0f, 0.03125f, 0.125f, 1e-7f, 123456.78f};
        float up = 1, down = 1;
        for (int n = 0; n < 200; ++n) {
            up = float(double(up) * (n % 2 ? 1.01 : 1.0005));
            down = float(double(down) * (n % 2 ? 0.99 : 0.9995));
            values << up << down;
        }
        for (float v : values) {
            const QString text = CalibrationModel::factorText(v);
            QVERIFY2(!text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char(',')),
                     qPrintable(text));
            QCOMPARE(text.toFloat(), v);
            // One significant digit fewer no longer reads back.
            const auto digits = QString(text).remove('.').remove(QRegularExpression("^0+")).size();
            if (digits > 1)
                QVERIFY2(QString::number(double(v), 'g', int(digits) - 1).toFloat() != v,
                         qPrintable(text));
        }
    }

    // The window on the offscreen platform: it shows the model and passes the clicks on.
    void readoutsFollowThePanelAndClicksReachTheModel() {
        m_b->channels.lastChannel = 4;
        m_b->model.open();
        CalibrationWindow window(m_b->model, m_b->panel, m_b->prompter);
        window.show();
        m_b->panel.setText(3, Box::LiveVoltage, QStringLiteral("801.6"));
        QCOMPARE(child<QLineEdit>(window, "Text1_3")->text(), QStringLiteral("801.6"));

        auto* channel = child<QComboBox>(window, "Combo1");
        channel->setCurrentIndex(1);
        child<QComboBox>(window, "Combo2")->setCurrentIndex(0);
        QTest::mouseClick(child<QRadioButton>(window, "Option2"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(window, "Command1"), Qt::LeftButton);
        QCOMPARE(m_b->channels.voltageAdjust[1], 1.0005f);
        QVERIFY(child<QPlainTextEdit>(window, "CalibrationLog")
                    ->toPlainText()
                    .contains(QStringLiteral("第2通道  电压采样校准  1 → 1.0005")));
    }

private:
    void choose(int channel, CalibrationItem item, bool fine = false) {
        m_b->model.setChannel(channel);
        m_b->model.setItem(int(item));
        m_b->model.setFine(fine);
    }

    QString stored(const QString& key) const { return m_b->settings.read(Canshu, key); }

    // The station on a fresh settings file, started up.
    void start(const q7rk::testing::TestStation::Seed& seed = {}) {
        m_b.reset();
        m_b.emplace(seed);
        m_b->controller.startUp();
    }
    struct Bench : q7rk::testing::TestStation {
        using TestStation::TestStation;
        CalibrationModel& model = station.calibration();
    };
    std::optional<Bench> m_b;
};

QTEST_MAIN(CalibrationTest)
#include "tst_calibration.moc"
