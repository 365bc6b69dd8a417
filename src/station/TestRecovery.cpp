#include "TestRecovery.h"

#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "reports/StoredTestDisplay.h"
#include "results/PanelRecord.h"
#include "settings/ChannelModel.h"
#include "settings/ProgramTitle.h"
#include "settings/SampleStore.h"
#include "shell/Prompter.h"
#include "station/RunConditionsRecorder.h"

#include <QStringList>
#include <algorithm>

namespace q7rk {

void TestRecovery::judged(int k) {
    keep(k);
}

void TestRecovery::stateChanged(int k, TestState state) {
    if (state == TestState::Finished) {
        // The run's end: the final conditions.
        keep(k);
        return;
    }
    // Running again, stored, given up, interrupted or replaced by a recalled test.
    if (!m_kept[std::size_t(k)]) return;
    m_kept[std::size_t(k)] = false;
    tell(m_journal.drop(k));
}

void TestRecovery::giveUpAll() {
    m_kept = {};
    tell(m_journal.dropAll());
}

void TestRecovery::keep(int k) {
    const PanelModel& panel = m_parts.panel;
    JournalEntry entry;
    entry.channel = k;
    entry.test = m_parts.tests[k].measured;
    takeOperatorTexts(entry.test, panel, k);
    entry.test.conditions = m_parts.conditions.conditionsOf(k);
    entry.verdict = entry.test.verdict();
    entry.pieceSerial = panel.text(0, Box::TvTestNumber).trimmed();
    const QString failure = m_journal.keep(entry);
    m_kept[std::size_t(k)] = failure.isEmpty();
    tell(failure);
}

// Told, never asked: a run may be going, and the test is still on the screen to be saved.
void TestRecovery::tell(const QString& failure) {
    if (!failure.isEmpty()) m_parts.notices.notify(programTitle::product(), failure);
}

QString TestRecovery::listed(const QList<JournalEntry>& entries) {
    QStringList items;
    for (const JournalEntry& e : entries)
        items << QStringLiteral("第%1路 %2 %3")
                     .arg(e.channel + 1)
                     .arg(e.test.testNumber(), e.verdict);
    return items.join(QStringLiteral("，"));
}

QString TestRecovery::question(const QList<JournalEntry>& entries) {
    return QStringLiteral("上次退出时有%1个测试未保存（%2），是否保存？")
        .arg(entries.size())
        .arg(listed(entries));
}

TestRecovery::Outcome TestRecovery::offer(const std::function<bool()>& save) {
    Outcome out;
    const RecoveryJournal::Contents contents = m_journal.read();
    out.error = contents.error;
    out.offered = contents.entries;
    if (!contents.error.isEmpty()) m_parts.prompter.inform(programTitle::product(), contents.error);
    if (out.offered.isEmpty()) return out;
    for (const JournalEntry& e : std::as_const(out.offered))
        m_kept[std::size_t(e.channel)] = true;
    out.accepted = m_parts.prompter.ask(Question::RecoverTests, programTitle::product(),
                                        question(out.offered));
    if (!out.accepted) {
        giveUpAll();
        m_parts.prompter.inform(
            programTitle::product(),
            QStringLiteral("以下测试已放弃，不再保存：%1").arg(listed(out.offered)));
        return out;
    }
    restore(out.offered);
    save();
    return out;
}

// Each test back into its channel as the run left it: its kind, boxes, curve and conditions,
// finished and not stored. The foil serial a TV piece goes under is channel 1's number box;
// when channel 1 holds no recovered test it gets the serial back first, so the tests written
// after it keep their own numbers.
void TestRecovery::restore(const QList<JournalEntry>& entries) {
    const bool firstRecovered = std::any_of(entries.begin(), entries.end(),
                                            [](const JournalEntry& e) { return e.channel == 0; });
    if (!firstRecovered && !entries.isEmpty())
        m_parts.panel.setText(0, Box::TvTestNumber, entries.first().pieceSerial);
    for (const JournalEntry& e : entries) {
        const int k = e.channel;
        m_parts.display.showTest(k, e.test);
        // Every sample the test took, also those the display does not draw.
        const int n = int(std::min<std::size_t>(e.test.curve.size(), SampleStore::MaxSample));
        for (int i = 1; i <= n; ++i) {
            const CurvePoint& p = e.test.curve[std::size_t(i - 1)];
            m_parts.samples.set(k, i, float(p.volts), float(p.milliamperes));
        }
        m_parts.conditions.recovered(k, e.test.conditions);
        m_parts.tests.recovered(k, e.test);
    }
}

} // namespace q7rk
