#include "PanelModel.h"

#include "kinds/TestKindDescription.h"
#include "params/DesignTexts.h"
#include "params/NumericCheck.h"
#include "params/StoredBoxes.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <span>

namespace q7rk {

namespace {

constexpr int FirstLabel = int(ReadoutLabel::Label49);
constexpr std::array kReadoutLabels{ReadoutLabel::Label49, ReadoutLabel::Label50,
                                    ReadoutLabel::Label51, ReadoutLabel::Label52};
constexpr std::array<const char*, 4> kDesignLabels{"TA", "TB", "Vm", "VT"};

// Each frame of options is one exclusive choice.
constexpr std::array kBoilingFrame{Option::BeforeBoiling, Option::AfterBoiling};
constexpr std::array kKindFrame{Option::TvTest, Option::LeakageTest, Option::ElectrolyteTest};
constexpr std::array kLinkFrame{Option::Linked, Option::NotLinked};
constexpr std::array kAllOptions{Option::BeforeBoiling, Option::AfterBoiling,    Option::TvTest,
                                 Option::LeakageTest,   Option::ElectrolyteTest, Option::Linked,
                                 Option::NotLinked};

std::span<const Option> frameOf(Option option) {
    switch (option) {
    case Option::BeforeBoiling:
    case Option::AfterBoiling:
        return kBoilingFrame;
    case Option::TvTest:
    case Option::LeakageTest:
    case Option::ElectrolyteTest:
        return kKindFrame;
    case Option::Linked:
    case Option::NotLinked:
        break;
    }
    return kLinkFrame;
}

int comboIndex(Box combo) {
    return combo == Box::SamplePosition ? 0 : 1;
}

bool isCombo(Box box) {
    return box == Box::SamplePosition || box == Box::ElectrolyteSamplePosition;
}

bool usedByKind(TestKind kind, Box box) {
    return std::ranges::find(description(kind).panelBoxes, box) !=
           description(kind).panelBoxes.end();
}

// The boxes the test-kind switch enables or disables; the others (names, water
// temperature, dates, live readouts) stay as they are whatever the kind.
bool switchedByKind(Box box) {
    return std::ranges::any_of(allKinds(), [box](TestKind k) { return usedByKind(k, box); });
}

// The results the evaluation writes while the channel runs; some of them (rise time, first
// spark) feed the rest of its evaluation.
bool isResultBox(Box box) {
    return std::ranges::any_of(allKinds(), [box](TestKind k) {
        const TestKindDescription& d = description(k);
        return box == d.verdictBox || std::ranges::find(d.resultBoxes, box) != d.resultBoxes.end();
    });
}

bool isKindOption(Option option) {
    return option == Option::TvTest || option == Option::LeakageTest ||
           option == Option::ElectrolyteTest;
}

bool isBoilingOption(Option option) {
    return option == Option::BeforeBoiling || option == Option::AfterBoiling;
}

// The name boxes fall back to the stored value of channel 1, whatever channel is left.
const StoredBox* nameKey(Box box) {
    const StoredBox* entry = startUpEntry(box);
    return entry && !entry->numeric ? entry : nullptr;
}

} // namespace

PanelModel::PanelModel(ChannelModel& channels, SettingsStore& settings, QObject* parent)
    : QObject(parent), m_channels(channels), m_settings(settings) {
    resetToDesign();
}

// ---- texts ----

PanelModel::BoxState& PanelModel::state(int channel, Box box) {
    Q_ASSERT(channel >= 0 && channel < ChannelCount);
    Q_ASSERT(int(box) >= 1 && int(box) <= BoxCount);
    return m_boxes[channel][boxIndex(box)];
}

const PanelModel::BoxState& PanelModel::state(int channel, Box box) const {
    Q_ASSERT(channel >= 0 && channel < ChannelCount);
    Q_ASSERT(int(box) >= 1 && int(box) <= BoxCount);
    return m_boxes[channel][boxIndex(box)];
}

QString PanelModel::text(int channel, Box box) const {
    return state(channel, box).text;
}

bool PanelModel::assign(int channel, Box box, const QString& text) {
    BoxState& s = state(channel, box);
    if (s.text == text) return false;
    s.text = text;
    emit textChanged(channel, box, text);
    return true;
}

void PanelModel::setText(int channel, Box box, const QString& text) {
    applyText(channel, box, text);
    settle(channel, box);
}

void PanelModel::type(int channel, Box box, const QString& text) {
    // What the box held before the operator's first keystroke since it was last left.
    m_typedFrom.try_emplace({channel, int(box)}, this->text(channel, box));
    applyText(channel, box, text);
}

void PanelModel::finishTyping() {
    // leave() forgets each entry as it goes; a copy it makes is not typing.
    while (!m_typedFrom.empty()) {
        const auto [channel, box] = m_typedFrom.begin()->first;
        leave(channel, Box(box));
        m_typedFrom.erase({channel, box});
    }
}

bool PanelModel::takeTypedChange(int channel, Box box) {
    const auto it = m_typedFrom.find({channel, int(box)});
    if (it == m_typedFrom.end()) return false;
    const bool changed = it->second != text(channel, box);
    m_typedFrom.erase(it);
    return changed;
}

void PanelModel::applyText(int channel, Box box, const QString& text) {
    if (isLocked(channel, box) || !assign(channel, box, text)) return;
    // The Vr ratio is checked while it is typed. The chain this starts through linked
    // channels ends because re-setting a box to the text it holds is no change.
    if (box == Box::VrRatio && checkNumber(channel, box)) propagate(channel, box);
}

void PanelModel::settle(int channel, Box box) {
    const NumericRule* rule = numericRule(box);
    if (rule && rule->keepsLastValid && passes(*rule, text(channel, box)))
        m_lastValidFormationVoltage[channel] = text(channel, box);
}

void PanelModel::leave(int channel, Box box) {
    // Text2 has had its check and propagation on every change already. Leaving a running
    // channel's box copies nothing: it holds the run's value, not a new entry.
    if (box == Box::VrRatio || isLocked(channel, box)) return;
    // Only an entry the operator changed goes anywhere: focus passing through a box (a click,
    // Tab from the port box) must not copy channel 4's 800 V into channels 1-3.
    const bool changed = takeTypedChange(channel, box);
    if (numericRule(box)) {
        if (changed && checkNumber(channel, box)) propagate(channel, box);
    } else if (nameKey(box)) {
        if (refillName(channel, box) || changed) propagate(channel, box);
    }
}

bool PanelModel::checkNumber(int channel, Box box) {
    const NumericRule* rule = numericRule(box);
    if (!rule) return true;
    const QString typed = text(channel, box);
    const bool restored = restoresLastValid(*rule, typed);
    const QString checked =
        checkedText(*rule, channel, typed, m_lastValidFormationVoltage[channel]);
    setText(channel, box, checked);
    if (checked != typed) emit entryReplaced(channel, box, checked, restored);
    return !restored;
}

void PanelModel::propagate(int channel, Box box) {
    const NumericRule* rule = numericRule(box);
    const bool allChannels = rule && rule->allChannels;
    const int first = allChannels ? 0 : firstOfGroup(groupOf(channel));
    const int last = allChannels ? ChannelCount - 1 : first + ChannelsPerGroup - 1;
    // A held channel is passed by: its test keeps its values and its chart its scale.
    for (int j = first; j <= last; ++j) {
        if (m_held[j]) continue;
        if (m_linked[j]) setText(j, box, text(channel, box));
        requestAxes(box, channel, j);
    }
    if (box == Box::FormationVoltage || box == Box::LeakageVoltage ||
        box == Box::ElectrolyteSetVoltage)
        emit groupChartAxesRequested(2);
}

// The voltage boxes scale the charts: each channel reached by the loop, linked or not, has
// its chart reframed together with the comparison charts it appears in.
void PanelModel::requestAxes(Box box, int source, int target) {
    if (box == Box::FormationVoltage) {
        emit chartAxesRequested(target);
        emit groupChartAxesRequested(0);
        emit groupChartAxesRequested(1);
    } else if (box == Box::LeakageVoltage || box == Box::ElectrolyteSetVoltage) {
        emit chartAxesRequested(target);
        emit groupChartAxesRequested(groupOf(source));
    }
}

bool PanelModel::refillName(int channel, Box box) {
    const StoredBox* key = nameKey(box);
    if (!key || !text(channel, box).isEmpty()) return false;
    const QString stored = m_settings.read(key->section, storedKey(*key, 0));
    setText(channel, box, stored);
    return !stored.isEmpty();
}

double PanelModel::number(int channel, Box box) const {
    return parseNumber(text(channel, box)).value_or(0.0);
}

// ---- held channels ----

bool PanelModel::isLocked(int channel, Box box) const {
    return m_held[channel] && numericRule(box);
}

bool PanelModel::isReadOnly(int channel, Box box) const {
    return isLocked(channel, box) || (m_held[channel] && isResultBox(box));
}

void PanelModel::setHeld(int channel, bool held) {
    if (m_held[channel] == held) return;
    m_held[channel] = held;
    for (int b = 1; b <= BoxCount; ++b) {
        const Box box = Box(b);
        if (numericRule(box) || isResultBox(box)) emit readOnlyChanged(channel, box, held);
    }
    refreshOptionsEnabled();
}

bool PanelModel::isOptionEnabled(Option option, int group) const {
    Q_ASSERT(group >= 0 && group < GroupCount);
    return m_optionEnabled[group][int(option)];
}

// The kind of a running group stays as it started. The boiling preset writes the delay of
// the running range whichever frame is clicked, so both frames wait for the end of a run.
void PanelModel::refreshOptionsEnabled() {
    bool anyRunning = false;
    std::array<bool, GroupCount> groupRunning{};
    for (int c = 0; c < ChannelCount; ++c) {
        anyRunning = anyRunning || m_held[c];
        groupRunning[groupOf(c)] = groupRunning[groupOf(c)] || m_held[c];
    }
    for (int g = 0; g < GroupCount; ++g) {
        for (Option o : kAllOptions) {
            bool enabled = true;
            if (isKindOption(o)) enabled = !groupRunning[g];
            if (isBoilingOption(o)) enabled = !anyRunning;
            bool& current = m_optionEnabled[g][int(o)];
            if (current == enabled) continue;
            current = enabled;
            emit optionEnabledChanged(o, g, enabled);
        }
    }
}

// ---- enabled state, labels, combos ----

bool PanelModel::isEnabled(int channel, Box box) const {
    return state(channel, box).enabled;
}

void PanelModel::setEnabled(int channel, Box box, bool enabled) {
    BoxState& s = state(channel, box);
    if (s.enabled == enabled) return;
    s.enabled = enabled;
    emit enabledChanged(channel, box, enabled);
}

QString PanelModel::labelCaption(int channel, ReadoutLabel label) const {
    return m_labels[channel][int(label) - FirstLabel];
}

void PanelModel::setLabel(int channel, ReadoutLabel label, const QString& caption) {
    QString& current = m_labels[channel][int(label) - FirstLabel];
    if (current == caption) return;
    current = caption;
    emit labelChanged(channel, label, caption);
}

QStringList PanelModel::comboItems(int channel, Box combo) const {
    Q_ASSERT(isCombo(combo));
    return m_comboItems[channel][comboIndex(combo)];
}

void PanelModel::setComboItems(int channel, Box combo, const QStringList& items) {
    Q_ASSERT(isCombo(combo));
    QStringList& current = m_comboItems[channel][comboIndex(combo)];
    if (current == items) return;
    current = items;
    emit comboItemsChanged(channel, combo);
}

// ---- options ----

bool PanelModel::option(Option option, int group) const {
    Q_ASSERT(group >= 0 && group < GroupCount);
    return m_options[group][int(option)];
}

void PanelModel::setOptionValue(Option option, int group, bool value) {
    Q_ASSERT(group >= 0 && group < GroupCount);
    bool& current = m_options[group][int(option)];
    if (current == value) return;
    current = value;
    emit optionChanged(option, group, value);
}

void PanelModel::clickOption(Option option, int group) {
    if (!isOptionEnabled(option, group)) return;
    for (Option other : frameOf(option)) {
        if (other != option) setOptionValue(other, group, false);
    }
    setOptionValue(option, group, true);
    runOptionEffect(option, group);
}

void PanelModel::restoreOption(Option option, int group, bool value) {
    if (value)
        clickOption(option, group);
    else
        setOptionValue(option, group, false);
}

void PanelModel::runOptionEffect(Option option, int group) {
    switch (option) {
    case Option::BeforeBoiling:
        presetDelayTime(QStringLiteral("180"));
        break;
    case Option::AfterBoiling:
        presetDelayTime(QStringLiteral("60"));
        break;
    case Option::TvTest:
    case Option::LeakageTest:
    case Option::ElectrolyteTest:
        for (TestKind kind : allKinds())
            if (description(kind).option == option) applyGroupKind(group, kind);
        break;
    case Option::Linked:
        // Linking from 1-3 takes in all six channels; linking from 4-6 takes in its own
        // group, the counterpart of unlinking a group.
        if (group == 0) setGroupLinked(1, true);
        setGroupLinked(group, true);
        break;
    case Option::NotLinked:
        setGroupLinked(group, false);
        break;
    }
}

// The boiling state sets the delay of the channels of the running range, whichever group's
// frame was clicked; the preset values need no check.
void PanelModel::presetDelayTime(const QString& text) {
    const int last = qBound(0, int(m_channels.lastChannel), ChannelCount - 1);
    for (int c = 0; c <= last; ++c)
        setText(c, Box::DelayTime, text);
}

void PanelModel::setGroupLinked(int group, bool linked) {
    for (int c = firstOfGroup(group); c < firstOfGroup(group) + ChannelsPerGroup; ++c)
        m_linked[c] = linked;
}

void PanelModel::applyKind(int channel, TestKind kind) {
    m_channels.setKind(channel, kind);
    const auto& captions = description(kind).readoutCaptions;
    for (std::size_t l = 0; l < kReadoutLabels.size(); ++l) {
        if (captions[l]) setLabel(channel, kReadoutLabels[l], QString::fromUtf8(captions[l]));
    }
    for (int b = 1; b <= BoxCount; ++b) {
        if (switchedByKind(Box(b))) setEnabled(channel, Box(b), usedByKind(kind, Box(b)));
    }
}

void PanelModel::applyGroupKind(int group, TestKind kind) {
    for (int c = firstOfGroup(group); c < firstOfGroup(group) + ChannelsPerGroup; ++c)
        applyKind(c, kind);
}

// ---- design state ----

void PanelModel::resetToDesign() {
    for (int c = 0; c < ChannelCount; ++c) {
        for (int b = 1; b <= BoxCount; ++b) {
            // Plain assignment: the design texts need no check and are not propagated.
            assign(c, Box(b), designText(c, Box(b)));
            settle(c, Box(b));
            setEnabled(c, Box(b), true);
        }
        for (std::size_t l = 0; l < kReadoutLabels.size(); ++l)
            setLabel(c, kReadoutLabels[l], QString::fromLatin1(kDesignLabels[l]));
        setComboItems(c, Box::SamplePosition, {});
        setComboItems(c, Box::ElectrolyteSamplePosition, {});
        m_linked[c] = false;
        setHeld(c, false);
    }
    for (int g = 0; g < GroupCount; ++g) {
        for (Option o : kAllOptions)
            setOptionValue(o, g, false);
    }
    refreshOptionsEnabled();
}

} // namespace q7rk
