#pragma once

#include "params/PanelModel.h"

#include <QHash>
#include <QObject>
#include <array>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace q7rk {

// Binds the panel's widgets to the PanelModel both ways. Typing calls setText, leaving a box
// (focus out or Return) calls leave, a click on an option calls clickOption; the model's
// signals put texts, enabled states, label captions, combo lists and option states back
// into the widgets. The pages register their widgets, then refresh() reads the whole state
// once.
class PanelBinding : public QObject {
    Q_OBJECT
public:
    explicit PanelBinding(PanelModel& panel, QObject* parent = nullptr);

    void addLineEdit(int channel, Box box, QLineEdit* edit);
    void addCombo(int channel, Box box, QComboBox* combo);
    void addLabel(int channel, ReadoutLabel label, QLabel* caption);
    void addOption(Option option, int group, QAbstractButton* button);

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
    void registerBox(int channel, Box box, QWidget* widget);

    PanelModel& m_panel;
    // True while the binding itself writes into a widget, so the widget's change signal is
    // not mistaken for typing.
    bool m_updating = false;
    QHash<const QObject*, BoxKey> m_keys;
    std::array<std::array<QWidget*, BoxCount>, ChannelCount> m_boxes{};
    std::array<std::array<QLabel*, 4>, ChannelCount> m_labels{};
    std::array<std::array<QAbstractButton*, 10>, GroupCount> m_options{};
};

} // namespace q7rk
