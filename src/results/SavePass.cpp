#include "SavePass.h"

#include "params/PanelModel.h"
#include "results/PanelRecord.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"

namespace q7rk {

namespace {

bool storable(const StoredTest& t) {
    const auto fields = schemaOf(t.kind).fields;
    if (t.values.size() != qsizetype(fields.size())) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!storedValue(fields[i].type, t.values[qsizetype(i)])) return false;
    }
    return true;
}

QString incompleteText(TestKind kind) {
    return kind == TestKind::Electrolyte ? resulttext::electrolyteEmpty()
                                         : resulttext::incomplete();
}

} // namespace

QString savedKey(TestKind kind, const QString& testNumber) {
    return kindKey(kind) + QLatin1Char('\n') + testNumber;
}

SaveDecision checkSavePass(const QList<SaveCandidate>& group, const QSet<QString>& storedThisRun) {
    SaveDecision d;
    QSet<QString> inGroup;
    for (qsizetype i = 0; i < group.size(); ++i) {
        const SaveCandidate& c = group[i];
        const QString key = savedKey(c.test.kind, c.test.testNumber());
        // Stored by an earlier pass of this run and still in the file: done already. Deleted
        // meanwhile, it is stored again like any other.
        if (c.takenInFile && storedThisRun.contains(key)) {
            d.skipped << int(i);
            inGroup.insert(key);
            continue;
        }
        if (c.takenInFile || inGroup.contains(key)) {
            d.refusal = resulttext::duplicateNumber(c.test.kind, c.test.testNumber());
        } else if (!c.requiredFilled) {
            d.refusal = incompleteText(c.test.kind);
        } else if (!storable(c.test)) {
            d.refusal = resulttext::saveFailed();
        }
        if (!d.refusal.isEmpty()) {
            d.toStore.clear();
            d.skipped.clear();
            return d;
        }
        inGroup.insert(key);
        d.toStore << int(i);
    }
    return d;
}

QList<SaveCandidate> SavePass::candidates(const PanelModel& panel,
                                          const SampleStore& samples) const {
    QList<SaveCandidate> out;
    const ChannelModel& ch = panel.channels();
    for (int k = std::max(0, int(ch.firstChannel)); k <= ch.lastChannel && k < ChannelCount; ++k) {
        SaveCandidate c;
        c.channel = k;
        c.test = recordOfChannel(panel, samples, k);
        c.requiredFilled = requiredBoxesFilled(panel, k);
        c.takenInFile = m_store.checkTestTable(c.test.kind, c.test.testNumber());
        out << c;
    }
    return out;
}

SaveReport SavePass::run(const PanelModel& panel, const SampleStore& samples) {
    return run(candidates(panel, samples));
}

SaveReport SavePass::run(const PanelModel& panel, const SampleStore& samples,
                         const QList<SaveRequest>& channels) {
    QList<SaveCandidate> group;
    for (const SaveCandidate& c : candidates(panel, samples))
        for (const SaveRequest& r : channels)
            if (r.channel == c.channel) group << c;
    return run(group);
}

SaveReport SavePass::run(const QList<SaveCandidate>& group) {
    SaveReport r;
    const SaveDecision d = checkSavePass(group, m_storedThisRun);
    if (!d.refusal.isEmpty()) {
        r.message = d.refusal;
        return r;
    }
    for (int i : d.skipped)
        r.skippedChannels << group[i].channel;
    for (int i : d.toStore) {
        const SaveCandidate& c = group[i];
        if (!m_store.save(c.test)) {
            r.message = resulttext::saveFailed();
            return r;
        }
        m_storedThisRun.insert(savedKey(c.test.kind, c.test.testNumber()));
        ++r.stored;
        r.storedChannels << c.channel;
    }
    r.ok = true;
    return r;
}

} // namespace q7rk
