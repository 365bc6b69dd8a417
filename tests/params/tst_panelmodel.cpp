#include "kinds/TestKindDescription.h"
#include "params/PanelCaptions.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace q7rk;

class PanelModelTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_f = std::make_unique<Fixture>();
        QVERIFY(m_f->dir.isValid());
    }

    // Each row: what the box held, what the operator types (keystrokes split by '|'), what
    // the box keeps after leaving, and whether a linked channel of the scope was given it.
    void numericCheck_data() {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("spreads");
        const auto row = [](const char* name, int ch, Box b, const char* held, const char* typed,
                            const char* kept, bool spreads) {
            QTest::newRow(name) << ch << int(b) << QString::fromUtf8(held)
                                << QString::fromUtf8(typed) << QString::fromUtf8(kept) << spreads;
        };
        // A slip in the formation voltage goes back to what the box held, and nowhere else.
        row("Text1 empty", 0, Box::FormationVoltage, "350", "", "350", false);
        row("Text1 letters", 0, Box::FormationVoltage, "350", "abc", "350", false);
        row("Text1 cleared key by key", 0, Box::FormationVoltage, "350", "35|3|", "350", false);
        row("Text1 letters after digits", 1, Box::FormationVoltage, "350", "|4|4a", "350", false);
        row("Text1 above", 0, Box::FormationVoltage, "350", "1500", "200", true);
        row("Text1 below", 0, Box::FormationVoltage, "350", "0.99", "200", true);
        row("Text1 upper bound", 0, Box::FormationVoltage, "", "1e3", "1e3", true);
        row("Text3 above", 0, Box::TestCurrent, "", "15.01", "2", true);
        row("Text3 letters", 0, Box::TestCurrent, "5", "abc", "2", true);
        row("Text9 group 1-3", 1, Box::LeakageVoltage, "", "5", "100", true);
        row("Text9 group 4-6", 4, Box::LeakageVoltage, "", "5", "400", true);
        row("Text16 unchecked", 0, Box::WaterTemperature, "", "abc", "abc", false);
    }

    void numericCheck() {
        QFETCH(int, channel);
        QFETCH(int, box);
        QFETCH(QString, held);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, spreads);
        PanelModel& p = m_f->panel;
        p.clickOption(Option::Linked, 0);
        if (!held.isEmpty()) typeAndLeave(channel, Box(box), held);
        const int neighbour = channel % 3 == 2 ? channel - 1 : channel + 1; // same group
        p.setText(neighbour, Box(box), QStringLiteral("marker"));
        QSignalSpy replaced(&p, &PanelModel::entryReplaced);

        for (const QString& keys : typed.split(QLatin1Char('|')))
            p.type(channel, Box(box), keys);
        p.leave(channel, Box(box));
        QCOMPARE(p.text(channel, Box(box)), kept);
        QCOMPARE(p.text(neighbour, Box(box)), spreads ? kept : QStringLiteral("marker"));
        QCOMPARE(replaced.count(), kept == typed.section(QLatin1Char('|'), -1) ? 0 : 1);
        if (!replaced.isEmpty()) QCOMPARE(replaced.first().at(3).toBool(), !spreads);
    }

    void vrRatioChain() {
        PanelModel& p = m_f->panel;
        // Typing digit by digit, without leaving the box.
        p.setText(0, Box::VrRatio, QString());
        QCOMPARE(p.text(0, Box::VrRatio), QStringLiteral("90"));
        p.setText(0, Box::VrRatio, QStringLiteral("1000"));
        QCOMPARE(p.text(0, Box::VrRatio), QStringLiteral("90"));

        // Through linked channels the chain changes every box once and ends.
        p.clickOption(Option::Linked, 0);
        QSignalSpy changes(&p, &PanelModel::textChanged);
        p.setText(1, Box::VrRatio, QStringLiteral("5"));
        QCOMPARE(changes.count(), 3);
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::VrRatio), QString::fromLatin1(c < 3 ? "5" : "90"));

        // A rejected text is replaced before it is copied.
        p.setText(4, Box::VrRatio, QStringLiteral("50"));
        p.setText(2, Box::VrRatio, QStringLiteral("abc"));
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::VrRatio), QString::fromLatin1(c < 3 ? "90" : "50"));
    }

    void linkingScopes() {
        PanelModel& p = m_f->panel;
        p.clickOption(Option::Linked, 0);
        // (The formation voltage reaches all six: see the axis order and the window's test.)
        typeAndLeave(4, Box::DelayTime, QStringLiteral("300"));
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::DelayTime), QString::fromLatin1(c < 3 ? "180" : "300"));

        p.clickOption(Option::NotLinked, 0);
        typeAndLeave(0, Box::TestCurrent, QStringLiteral("5"));
        QCOMPARE(p.text(1, Box::TestCurrent), QStringLiteral("2"));

        // An unlinked channel still hands its edits to the linked ones.
        p.setParamLinked(4, false);
        typeAndLeave(4, Box::LeakageLimit, QStringLiteral("0.2"));
        QCOMPARE(p.text(5, Box::LeakageLimit), QStringLiteral("0.2"));
        QCOMPARE(p.text(0, Box::LeakageLimit), QStringLiteral("0.05"));

        // Linking from 4-6 takes in that group only.
        p.resetToDesign();
        p.clickOption(Option::Linked, 1);
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.paramLinked(c), c >= 3);
    }

    void axisRebuildOrder() {
        QStringList calls;
        connect(&m_f->panel, &PanelModel::chartAxesRequested, this,
                [&calls](int k) { calls << QStringLiteral("zb%1").arg(k); });
        connect(&m_f->panel, &PanelModel::groupChartAxesRequested, this,
                [&calls](int n) { calls << QStringLiteral("zb16_%1").arg(n); });

        // Focus passing through a box changes nothing, nor does typing its own text again.
        m_f->panel.leave(2, Box::FormationVoltage);
        typeAndLeave(3, Box::FormationVoltage, m_f->panel.text(3, Box::FormationVoltage));
        QVERIFY(calls.isEmpty());
        QCOMPARE(m_f->panel.text(0, Box::FormationVoltage), QStringLiteral("200"));
        // A new Text1 reaches every channel, linked or not.
        typeAndLeave(2, Box::FormationVoltage, QStringLiteral("300"));
        QStringList expected;
        for (int j = 0; j < ChannelCount; ++j)
            expected << QStringLiteral("zb%1").arg(j) << QStringLiteral("zb16_0")
                     << QStringLiteral("zb16_1");
        expected << QStringLiteral("zb16_2");
        QCOMPARE(calls, expected);

        calls.clear();
        typeAndLeave(4, Box::LeakageVoltage, QStringLiteral("300"));
        QCOMPARE(calls, QStringList({"zb3", "zb16_1", "zb4", "zb16_1", "zb5", "zb16_1", "zb16_2"}));

        calls.clear();
        typeAndLeave(1, Box::ElectrolyteSetVoltage, QStringLiteral("420"));
        QCOMPARE(calls, QStringList({"zb0", "zb16_0", "zb1", "zb16_0", "zb2", "zb16_0", "zb16_2"}));

        calls.clear();
        typeAndLeave(0, Box::TestCurrent, QStringLiteral("5"));
        m_f->panel.leave(0, Box::TvTestNumber);
        QVERIFY(calls.isEmpty());
    }

    void nameRefill() {
        m_f->store.write(section::Canshu, QStringLiteral("TVcsbh(0)"), QStringLiteral("A-17"));
        m_f->store.write(section::Canshu, QStringLiteral("TVcsbh(2)"), QStringLiteral("wrong"));
        m_f->store.write(section::Canshu, QStringLiteral("DJYcsbh(0)"), QStringLiteral("D9"));
        PanelModel& p = m_f->panel;

        p.leave(2, Box::TvTestNumber);
        QCOMPARE(p.text(2, Box::TvTestNumber), QStringLiteral("A-17"));
        typeAndLeave(2, Box::TvTestNumber, QStringLiteral("B-2"));
        QCOMPARE(p.text(2, Box::TvTestNumber), QStringLiteral("B-2"));
        p.leave(4, Box::TvOperator); // "LBUSER(0)" is not stored
        QVERIFY(p.text(4, Box::TvOperator).isEmpty());

        // The refilled text goes to the linked channels of the group.
        p.clickOption(Option::Linked, 0);
        p.leave(4, Box::ElectrolyteTestNumber);
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::ElectrolyteTestNumber),
                     c >= 3 ? QStringLiteral("D9") : QString());
    }

    void boilingPreset() {
        PanelModel& p = m_f->panel;
        QSignalSpy axes(&p, &PanelModel::chartAxesRequested);
        p.clickOption(Option::AfterBoiling, 1);
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::DelayTime), QString::fromLatin1(c < 3 ? "60" : "180"));

        m_f->channels.lastChannel = 5;
        p.clickOption(Option::AfterBoiling, 0);
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::DelayTime), QStringLiteral("60"));
        m_f->channels.lastChannel = 0;
        p.clickOption(Option::BeforeBoiling, 0);
        QCOMPARE(p.text(0, Box::DelayTime), QStringLiteral("180"));
        QCOMPARE(p.text(1, Box::DelayTime), QStringLiteral("60"));
        QCOMPARE(axes.count(), 0);
    }

    // One row of each kind's boxes and captions; the switch reaches its group only, no text.
    void kindSwitch() {
        PanelModel& p = m_f->panel;
        p.setEnabled(3, Box::TvTestNumber, false); // the switch must not touch it
        QSignalSpy texts(&p, &PanelModel::textChanged);
        p.clickOption(Option::NotLinked, 1);

        p.clickOption(Option::LeakageTest, 1);
        // One choice per frame: the kind frame of the other group and the link frame keep theirs.
        QVERIFY(!p.option(Option::TvTest, 1) && p.option(Option::NotLinked, 1));
        QVERIFY(!p.option(Option::LeakageTest, 0));
        for (int c = 3; c < 6; ++c) {
            QCOMPARE(m_f->channels.kind(c), TestKind::Leakage);
            QVERIFY(!p.isEnabled(c, Box::FormationVoltage) && p.isEnabled(c, Box::LeakageVoltage));
        }
        QCOMPARE(p.labelCaption(3, ReadoutLabel::Label52), QStringLiteral("漏电"));
        QVERIFY(!p.isEnabled(3, Box::TvTestNumber));
        QCOMPARE(referenceVoltage(p, 3), 400.0);
        QVERIFY(m_f->channels.kind(0) == TestKind::Tv && p.isEnabled(0, Box::FormationVoltage));

        p.clickOption(Option::ElectrolyteTest, 0);
        QVERIFY(m_f->channels.kind(2) == TestKind::Electrolyte);
        QVERIFY(!p.isEnabled(2, Box::TestCurrent) && p.isEnabled(2, Box::ElectrolyteCurrent));
        QCOMPARE(p.labelCaption(2, ReadoutLabel::Label49), QStringLiteral("火花1"));
        QCOMPARE(referenceVoltage(p, 0), 100.0);

        p.clickOption(Option::TvTest, 0);
        QVERIFY(p.isEnabled(0, Box::TvVerdict) && !p.isEnabled(0, Box::LeakageVoltage));
        QCOMPARE(p.labelCaption(0, ReadoutLabel::Label50), QStringLiteral("TB"));
        QCOMPARE(referenceVoltage(p, 0), 200.0);
        QCOMPARE(texts.count(), 0);
    }

    void runningChannelsKeepTheirSetValues() {
        PanelModel& p = m_f->panel;
        p.clickOption(Option::Linked, 0);
        QSignalSpy replaced(&p, &PanelModel::entryReplaced);
        QSignalSpy axes(&p, &PanelModel::chartAxesRequested);
        for (int c = 0; c < 3; ++c)
            p.setHeld(c, true);

        // Nothing reaches a running channel's set values: not typing, not leaving, not linking,
        // not the boiling preset.
        typeAndLeave(0, Box::FormationVoltage, QStringLiteral("abc"));
        typeAndLeave(1, Box::DelayTime, QStringLiteral("20"));
        p.setText(2, Box::VrRatio, QStringLiteral("50"));
        QCOMPARE(p.text(0, Box::FormationVoltage), QStringLiteral("200"));
        QCOMPARE(p.text(1, Box::DelayTime), QStringLiteral("180"));
        QCOMPARE(p.text(2, Box::VrRatio), QStringLiteral("90"));
        QVERIFY(replaced.isEmpty());

        // An idle channel's edit reaches the idle linked channels only, and only their charts
        // are reframed; a typo's replacement is announced.
        typeAndLeave(3, Box::FormationVoltage, QStringLiteral("500"));
        for (int c = 0; c < ChannelCount; ++c)
            QCOMPARE(p.text(c, Box::FormationVoltage), QString::fromLatin1(c < 3 ? "200" : "500"));
        QList<int> reframed;
        for (const QList<QVariant>& call : axes)
            reframed << call.first().toInt();
        QCOMPARE(reframed, (QList<int>{3, 4, 5}));
        typeAndLeave(4, Box::FormationVoltage, QStringLiteral("abc"));
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(replaced.first().at(2).toString(), QStringLiteral("500"));
        QCOMPARE(p.text(0, Box::FormationVoltage), QStringLiteral("200"));

        // The kind of the running group and the boiling frames wait for the end of the run; the
        // idle group may still switch.
        QVERIFY(!p.isOptionEnabled(Option::LeakageTest, 0));
        QVERIFY(!p.isOptionEnabled(Option::AfterBoiling, 1));
        p.clickOption(Option::LeakageTest, 0);
        p.clickOption(Option::AfterBoiling, 1);
        QVERIFY(m_f->channels.kind(0) == TestKind::Tv && !p.option(Option::LeakageTest, 0));
        QCOMPARE(p.text(0, Box::DelayTime), QStringLiteral("180"));
        p.clickOption(Option::LeakageTest, 1);
        QVERIFY(m_f->channels.kind(4) == TestKind::Leakage);

        // The results are the evaluation's: read-only for the operator, written all the same.
        QVERIFY(p.isReadOnly(0, Box::RiseTime) && p.isReadOnly(0, Box::FormationVoltage));
        QVERIFY(!p.isReadOnly(0, Box::TvTestNumber) && !p.isReadOnly(3, Box::FormationVoltage));
        p.setText(0, Box::RiseTime, QStringLiteral("35"));
        QCOMPARE(p.text(0, Box::RiseTime), QStringLiteral("35"));

        for (int c = 0; c < 3; ++c)
            p.setHeld(c, false);
        typeAndLeave(0, Box::DelayTime, QStringLiteral("20"));
        QCOMPARE(p.text(2, Box::DelayTime), QStringLiteral("20"));
        QVERIFY(p.isOptionEnabled(Option::LeakageTest, 0) && !p.isReadOnly(0, Box::RiseTime));
    }

private:
    void typeAndLeave(int channel, Box box, const QString& text) {
        m_f->panel.type(channel, box, text);
        m_f->panel.leave(channel, box);
    }

    struct Fixture {
        QTemporaryDir dir;
        SettingsStore store{dir.filePath(QStringLiteral("panel.ini"))};
        ChannelModel channels;
        PanelModel panel{channels, store};
    };
    std::unique_ptr<Fixture> m_f;
};

QTEST_GUILESS_MAIN(PanelModelTest)
#include "tst_panelmodel.moc"
