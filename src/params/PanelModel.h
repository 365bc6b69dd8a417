#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <map>

namespace q7rk {

class SettingsStore;

// The parameter panel of the six channels, without widgets: the texts of every box, their
// enabled state, the readout label captions, the group options and the linking flags.
// Widgets bind to it both ways (typing calls setText, losing focus calls leave; the model's
// signals update the widgets). The numeric checks, the propagation to linked channels, the
// test-kind switch and the boiling preset live here. Unusable input is replaced by the rule's
// value without a dialog; the replacement is announced so the window can show a hint.
// While a channel runs, the boxes that feed its poll frame and its evaluation stay as they
// were at the start: the instrument must not be driven, nor the verdict judged, by a value
// the operator is still typing.
class PanelModel : public QObject {
    Q_OBJECT
public:
    PanelModel(ChannelModel& channels, SettingsStore& settings, QObject* parent = nullptr);

    // Texts. setText changes the text (a change only when the text differs) and, for Text2,
    // runs the check and propagation on every change. type is the same for the operator's
    // keystrokes, which are not yet an entry: a box that goes back to its last valid value
    // on a slip goes back to what it held before the typing began.
    QString text(int channel, Box box) const;
    void setText(int channel, Box box, const QString& text);
    void type(int channel, Box box, const QString& text);
    // The operator leaves a box: numeric check and propagation of what was typed into it (a
    // box left as it was entered copies nothing), or refill of a blank name box; boxes without
    // a rule do nothing.
    void leave(int channel, Box box);
    // Every box typed in and not yet left is left now, in channel order: a command given from
    // the toolbar or a menu (which take no focus) sees the entries checked and copied to the
    // linked channels, as a click into another box would have left them.
    void finishTyping();

    // The number in a box (the consumers' conversion); 0 when the text is not a number.
    double number(int channel, Box box) const;

    bool isEnabled(int channel, Box box) const;
    void setEnabled(int channel, Box box, bool enabled);

    // Set by the station for a channel whose boxes belong to a test that runs or has finished
    // and waits to be stored: its set values and marks are what the record will say. Such a
    // channel refuses new set values (setText and leave do nothing for them, linking passes
    // it by, the boiling preset leaves it alone), the kind options of its group and both
    // boiling frames are disabled, and its result boxes are for the evaluation alone.
    void setHeld(int channel, bool held);
    bool isHeld(int channel) const { return m_held[channel]; }
    // The widget takes no typing: a set value of a held channel, or one of its results.
    bool isReadOnly(int channel, Box box) const;
    bool isOptionEnabled(Option option, int group) const;

    QString labelCaption(int channel, ReadoutLabel label) const;
    QStringList comboItems(int channel, Box combo) const;
    void setComboItems(int channel, Box combo, const QStringList& items);

    bool option(Option option, int group) const;
    // A click: selects the option (clearing the others of its frame) and runs its effect.
    void clickOption(Option option, int group);
    // Restores an option from the store at start-up: True selects it and runs its click,
    // False only clears it.
    void restoreOption(Option option, int group, bool value);

    bool paramLinked(int channel) const { return m_linked[channel]; }
    void setParamLinked(int channel, bool linked) { m_linked[channel] = linked; }

    // Kind flags, enabled boxes and label captions of one channel for a test kind.
    void applyKind(int channel, TestKind kind);
    void applyGroupKind(int group, TestKind kind);

    // The design texts of the form (before settings are applied).
    void resetToDesign();

    ChannelModel& channels() { return m_channels; }
    const ChannelModel& channels() const { return m_channels; }

signals:
    void textChanged(int channel, q7rk::Box box, const QString& text);
    void enabledChanged(int channel, q7rk::Box box, bool enabled);
    void labelChanged(int channel, q7rk::ReadoutLabel label, const QString& caption);
    void comboItemsChanged(int channel, q7rk::Box combo);
    void optionChanged(q7rk::Option option, int group, bool value);
    void readOnlyChanged(int channel, q7rk::Box box, bool readOnly);
    void optionEnabledChanged(q7rk::Option option, int group, bool enabled);
    // The numeric check put `replacement` in place of what was typed; `restored`: it is the
    // box's last valid value, and no other channel was given the slip.
    void entryReplaced(int channel, q7rk::Box box, const QString& replacement, bool restored);
    // The voltage boxes scale the charts: rebuild the axes of TV(k) / TV16(n).
    void chartAxesRequested(int channel);
    void groupChartAxesRequested(int chart);

private:
    struct BoxState {
        QString text;
        bool enabled = true;
    };
    // False when the box went back to its last valid value: nothing new to propagate.
    bool checkNumber(int channel, Box box);
    void applyText(int channel, Box box, const QString& text);
    // Remembers a valid entry of a box that goes back to it on a slip.
    void settle(int channel, Box box);
    void propagate(int channel, Box box);
    void requestAxes(Box box, int source, int target);
    // True when a blank name box got the stored name.
    bool refillName(int channel, Box box);
    // True when the operator typed in the box since it was last left and its text differs from
    // what it held before; forgets the typing.
    bool takeTypedChange(int channel, Box box);
    BoxState& state(int channel, Box box);
    const BoxState& state(int channel, Box box) const;
    // Stores a text and announces it; false when the box already held it.
    bool assign(int channel, Box box, const QString& text);
    // A set value of a held channel: nothing may change it until its test is stored or given up.
    bool isLocked(int channel, Box box) const;
    void refreshOptionsEnabled();
    void setLabel(int channel, ReadoutLabel label, const QString& caption);
    void setOptionValue(Option option, int group, bool value);
    void runOptionEffect(Option option, int group);
    void presetDelayTime(const QString& text);
    void setGroupLinked(int group, bool linked);

    ChannelModel& m_channels;
    SettingsStore& m_settings;
    std::array<std::array<BoxState, BoxCount>, ChannelCount> m_boxes{};
    std::array<std::array<QString, 4>, ChannelCount> m_labels{};
    std::array<std::array<QStringList, 2>, ChannelCount> m_comboItems{};
    std::array<std::array<bool, 10>, GroupCount> m_options{};
    PerChannel<QString> m_lastValidFormationVoltage{};
    std::map<std::pair<int, int>, QString> m_typedFrom; // (channel, box) -> text before typing
    PerChannel<bool> m_linked{};
    PerChannel<bool> m_held{};
    std::array<std::array<bool, 10>, GroupCount> m_optionEnabled{};
};

} // namespace q7rk
