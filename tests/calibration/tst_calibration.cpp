#include "calibration/CalibrationModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace q7rk;

namespace {

const QString Canshu = QStringLiteral("canshu");

QString key(const char* base, int i) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(i);
}

} // namespace

class CalibrationTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_model.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_channels = ChannelModel{};
        m_store = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("s.ini")));
        m_store->writeInitialValues();
        m_model = std::make_unique<CalibrationModel>(m_channels, *m_store);
        m_prompter.clear();
    }

    void choicesAndTheirMessages() {
        QCOMPARE(m_model->channelItems(),
                 (QStringList{"第1通道校准", "第2通道校准", "第3通道校准"}));
        // The list is built when the window opens, not when the range changes.
        m_channels.lastChannel = 5;
        QCOMPARE(m_model->channelItems().size(), 3);
        m_model->open();
        QCOMPARE(m_model->channelItems().last(), QStringLiteral("第6通道校准"));

        m_model->increase(m_prompter);
        m_model->setChannel(2);
        m_model->increase(m_prompter);
        m_model->decrease(m_prompter);
        QCOMPARE(m_prompter.texts(),
                 (QStringList{"请按下拉箭头选择校准通道！", "请按下拉箭头选择校准项目！",
                              "请按下拉箭头选择校准内容！"}));
        for (int n = 0; n < CalibrationItemCount; ++n)
            QCOMPARE(m_model->factor(2, CalibrationItem(n)), 1.0f);
        QVERIFY(m_model->lastEntries(10).isEmpty());
    }

    // The poll frame takes KV and KI from memory, as the frame tests show.
    void stepsMultiplyAndReachStoreAndMemory() {
        choose(1, CalibrationItem::VoltageControl);
        m_model->increase(m_prompter);
        QCOMPARE(m_channels.KV[1], 1.01f);
        QCOMPARE(stored(key("KV", 1)), QStringLiteral("1.01"));
        m_model->decrease(m_prompter);
        QCOMPARE(stored(key("KV", 1)), QStringLiteral("0.9999")); // steps multiply
        QCOMPARE(m_channels.KV[1], 0.9999f);

        choose(0, CalibrationItem::CurrentControl, true);
        m_model->increase(m_prompter);
        QCOMPARE(stored(key("KI", 0)), QStringLiteral("1.0005"));
        m_model->decrease(m_prompter);
        QCOMPARE(m_channels.KI[0], float(1.0005f * 0.9995));
        QVERIFY(m_prompter.shown().isEmpty());

        // A step starts from the stored factor, and memory follows the store for all four.
        m_store->write(Canshu, key("Iadjust", 4), QStringLiteral("1.2"));
        m_channels.lastChannel = 5;
        m_model->open();
        choose(4, CalibrationItem::CurrentSampling);
        m_model->increase(m_prompter);
        QCOMPARE(m_channels.currentAdjust[4], float(1.2f * 1.01));
        QCOMPARE(m_channels.KV[4], 1.0f);
        // The store is on disk at once.
        QCOMPARE(SettingsStore(m_store->filePath()).read(Canshu, key("Iadjust", 4)),
                 stored(key("Iadjust", 4)));
    }

    void restoreWritesEveryFactorAndTheScales() {
        choose(1, CalibrationItem::VoltageSampling);
        m_model->increase(m_prompter);
        m_channels.KI[5] = 3;
        m_channels.timeScale[3] = 4;
        m_store->write(Canshu, key("hxfd", 3), QStringLiteral("4"));
        m_store->write(Canshu, QStringLiteral("hxfd16"), QStringLiteral("2"));
        m_model->restoreDefaults(m_prompter);

        QVERIFY(m_prompter.shown().isEmpty());
        for (int k = 0; k < ChannelCount; ++k) {
            for (const char* base : {"Vadjust", "Iadjust", "KV", "KI"})
                QCOMPARE(stored(key(base, k)), QStringLiteral("1"));
            QCOMPARE(stored(key("hxfd", k)), QStringLiteral("0.03125"));
            QCOMPARE(m_channels.timeScale[k], 0.03125f);
            for (int n = 0; n < CalibrationItemCount; ++n)
                QCOMPARE(m_model->factor(k, CalibrationItem(n)), 1.0f);
        }
        QCOMPARE(stored(QStringLiteral("hxfd16")), QStringLiteral("0.125"));
        QCOMPARE(m_channels.groupTimeScale, 0.125f);
        const auto entries = m_model->lastEntries(5);
        QCOMPARE(entries.size(), 2); // the step and the restore as one entry
        QCOMPARE(entries[1].item, QStringLiteral("恢复默认值"));
        QCOMPARE(entries[1].oldValue, QStringLiteral("Vadjust(1)=1.01"));
    }

    void logKeepsEveryChange() {
        QSignalSpy logged(m_model.get(), &CalibrationModel::logged);
        choose(2, CalibrationItem::CurrentSampling);
        for (int n = 0; n < 3; ++n)
            m_model->increase(m_prompter);
        m_model->decrease(m_prompter);
        QCOMPARE(logged.count(), 4);

        // Another opening of the window reads the same log.
        CalibrationModel again(m_channels, *m_store);
        const auto entries = again.lastEntries(2);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].channel, QStringLiteral("第3通道"));
        QCOMPARE(entries[0].item, QStringLiteral("电流采样校准"));
        QCOMPARE(entries[0].newValue, entries[1].oldValue);
        QCOMPARE(entries[1].newValue, CalibrationModel::factorText(m_channels.currentAdjust[2]));
        QCOMPARE(again.lastEntries(100).size(), 4);

        // A log that cannot be written is told; the factor is still kept.
        QFile::remove(m_model->logFilePath());
        QVERIFY(QDir().mkpath(m_model->logFilePath()));
        m_model->increase(m_prompter);
        QCOMPARE(m_prompter.texts().size(), 1);
        QVERIFY(m_prompter.texts().first().startsWith(QStringLiteral("校准记录无法写入")));
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

private:
    void choose(int channel, CalibrationItem item, bool fine = false) {
        m_model->setChannel(channel);
        m_model->setItem(int(item));
        m_model->setFine(fine);
    }

    QString stored(const QString& key) const { return m_store->read(Canshu, key); }

    std::unique_ptr<QTemporaryDir> m_dir;
    ChannelModel m_channels;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<CalibrationModel> m_model;
    ScriptedPrompter m_prompter;
};

QTEST_MAIN(CalibrationTest)
#include "tst_calibration.moc"
