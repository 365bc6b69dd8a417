#include "SavePass.h"

#include "params/PanelCaptions.h"
#include "params/PanelModel.h"
#include "results/PanelRecord.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"

#include <QSet>
#include <algorithm>
#include <map>

namespace q7rk {

namespace {

using Result = ChannelSaveOutcome::Result;

bool storable(const StoredTest& t) {
    const auto fields = description(t.kind).fields;
    if (t.values.size() != qsizetype(fields.size())) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!storedValue(fields[i].type, t.values[qsizetype(i)])) return false;
    }
    return true;
}

QString missingLine(const MissingBox& m) {
    return resulttext::missingBox(m.channel, plainCaption(m.channel, m.box));
}

QString missingLines(const QList<MissingBox>& missing) {
    QStringList lines;
    for (const MissingBox& m : missing)
        lines << missingLine(m);
    return lines.join(QLatin1Char('\n'));
}

void appendLine(QString& text, const QString& line) {
    if (line.isEmpty()) return;
    if (!text.isEmpty()) text += QLatin1Char('\n');
    text += line;
}

} // namespace

QString savedKey(TestKind kind, const TestKey& key) {
    return kindKey(kind) + QLatin1Char('\n') + key.number + QLatin1Char('\n') +
           QString::number(int(key.afterBoiling));
}

SaveDecision checkSavePass(const QList<SaveCandidate>& group,
                           const QHash<int, QString>& storedThisRun) {
    SaveDecision d;
    QSet<QString> inGroup;
    for (qsizetype i = 0; i < group.size(); ++i) {
        const SaveCandidate& c = group[i];
        const QString key = savedKey(c.test.kind, c.test.key());
        // This channel's test, stored by an earlier pass of this run and still in the file:
        // done already. Deleted meanwhile, it is stored again like any other. Another channel
        // whose number was retyped to it is refused as a number taken, never passed over.
        if (c.takenInFile && storedThisRun.value(c.channel) == key) {
            d.skipped << int(i);
            inGroup.insert(key);
            continue;
        }
        for (Box b : c.missing)
            d.missing << MissingBox{c.channel, b};
        // The first channel that fails decides the refusal; the rest are still looked at
        // so that every empty box can be named.
        if (d.refusal.isEmpty()) {
            if (c.takenInFile || inGroup.contains(key)) {
                d.refusal = resulttext::duplicateNumber(c.test.kind, c.test.key());
            } else if (!c.missing.isEmpty()) {
                d.refusal = resulttext::incomplete(c.test.kind);
                d.forEmptyBoxes = true;
            } else if (!storable(c.test)) {
                d.refusal = resulttext::saveFailed();
            }
        }
        inGroup.insert(key);
        d.toStore << int(i);
    }
    if (!d.refusal.isEmpty()) {
        if (d.forEmptyBoxes) appendLine(d.refusal, missingLines(d.missing));
        d.toStore.clear();
        d.skipped.clear();
    }
    return d;
}

SaveCandidate SavePass::candidate(const PanelModel& panel, const SaveRequest& request) const {
    SaveCandidate c;
    c.channel = request.channel;
    c.test = request.measured;
    takeOperatorTexts(c.test, panel, request.channel);
    c.test.conditions = request.conditions;
    c.companion = request.companion;
    c.missing = missingRequiredBoxes(panel, c.test, request.channel);
    c.takenInFile = m_store.checkTestTable(c.test.kind, c.test.key());
    return c;
}

SaveReport SavePass::run(const PanelModel& panel, const QList<SaveRequest>& channels) {
    std::map<int, SaveRequest> taken; // by channel, ascending and each once
    for (const SaveRequest& req : channels)
        if (req.channel >= 0 && req.channel < ChannelCount) taken[req.channel] = req;
    QList<SaveCandidate> group;
    QList<int> empty;
    for (const auto& [channel, request] : taken) {
        if (!request.measured.curve.empty())
            group << candidate(panel, request);
        else
            empty << channel;
    }
    SaveReport r = run(group);
    for (int k : empty) {
        r.outcomes << ChannelSaveOutcome{k, Result::NoSamples};
        appendLine(r.message, resulttext::noSamples(k));
    }
    std::stable_sort(r.outcomes.begin(), r.outcomes.end(),
                     [](const auto& a, const auto& b) { return a.channel < b.channel; });
    return r;
}

SaveReport SavePass::run(const QList<SaveCandidate>& group) {
    SaveReport r;
    const SaveDecision d = checkSavePass(group, m_storedThisRun);
    if (!d.missing.isEmpty()) r.firstMissing = d.missing.first();
    if (!d.refusal.isEmpty()) {
        r.message = d.refusal;
        for (const SaveCandidate& c : group)
            r.outcomes << ChannelSaveOutcome{c.channel, Result::Refused};
        return r;
    }
    std::map<int, ChannelSaveOutcome> outcomes; // by position in the group
    for (int i : d.skipped) {
        r.skippedChannels << group[i].channel;
        outcomes[i] = {group[i].channel, Result::AlreadyStored};
    }
    bool failed = false;
    for (int i : d.toStore) {
        const SaveCandidate& c = group[i];
        if (failed) {
            outcomes[i] = {c.channel, Result::Failed}; // not tried after a failed write
            continue;
        }
        const SaveOutcome saved = m_store.save(c.test, c.companion);
        if (!saved.warning.isEmpty()) appendLine(r.warning, saved.warning);
        if (!saved.ok) {
            failed = true;
            r.message = saved.message;
            outcomes[i] = {c.channel, Result::Failed};
            continue;
        }
        m_storedThisRun.insert(c.channel, savedKey(c.test.kind, c.test.key()));
        ++r.stored;
        r.storedChannels << c.channel;
        outcomes[i] = {c.channel, Result::Stored};
    }
    for (const auto& [i, outcome] : outcomes)
        r.outcomes << outcome;
    r.ok = !failed;
    return r;
}

} // namespace q7rk
