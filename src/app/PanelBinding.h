#pragma once

#include "params/PanelModel.h"

#include <QHash>
#include <QObject>
#include <array>

#include <QPointer>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace q7rk {

class EntryHint;

// Binds the panel's widgets to the PanelModel both ways. Typing calls setText, leaving a box
// (focus out or Return) calls leave, a click on an option calls clickOption; the model's
// signals put texts, enabled states, read-only states, label captions, combo lists, option
// states and verdict badges back into the widgets, and a replaced entry gets a hint beside
// its box until the box is edited again. The pages register their widgets, then refresh() reads the
// whole state once.
class PanelBinding : public QObject {
    Q_OBJECT
public:
    explicit PanelBinding(PanelModel& panel, QObject* parent = nullptr);

    void addLineEdit(int channel, Box box, QLineEdit* edit);
    void addCombo(int channel, Box box, QComboBox* combo);
    void addLabel(int channel, ReadoutLabel label, QLabel* caption);
    void addOption(Option option, int group, QAbstractButton* button);
    // A badge that shows the channel's verdict: 合格 on green, 不合格 on red, else grey.
    void addVerdictBadge(int channel, QLabel* badge);

    // Reads every registered widget's state from the model.
    void refresh();

    QWidget* boxWidget(int channel, Box box) const { return m_boxes[channel][boxIndex(box)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct BoxKey {
        int channel;
        Box box;
    };

    void showText(int channel, Box box, const QString& text);
    void showEnabled(int channel, Box box, bool enabled);
    void showLabel(int channel, ReadoutLabel label, const QString& caption);
    void showComboItems(int channel, Box combo);
    void showOption(Option option, int group, bool value);
    void showReadOnly(int channel, Box box, bool readOnly);
    void showOptionEnabled(Option option, int group, bool enabled);
    void showVerdict(int channel);
    void showReplacement(int channel, Box box, const QString& replacement, bool restored);
    // The next edit anywhere ends every hint shown.
    void hideHints();
    void registerBox(int channel, Box box, QWidget* widget);

    PanelModel& m_panel;
    // True while the binding itself writes into a widget, so the widget's change signal is
    // not mistaken for typing.
    bool m_updating = false;
    // The box whose keystroke the model is handling now: its own text is not a copy.
    const QLineEdit* m_typingIn = nullptr;
    QHash<const QObject*, BoxKey> m_keys;
    std::array<std::array<QWidget*, BoxCount>, ChannelCount> m_boxes{};
    std::array<std::array<QLabel*, 4>, ChannelCount> m_labels{};
    std::array<std::array<QAbstractButton*, 10>, GroupCount> m_options{};
    PerChannel<QLabel*> m_badges{};
    // One hint per box that had an entry replaced, until that box is edited again.
    QHash<const QWidget*, QPointer<EntryHint>> m_hints;
};

} // namespace q7rk
