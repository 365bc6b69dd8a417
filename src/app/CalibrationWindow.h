#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTextBrowser;

namespace q7rk {

class CalibrationModel;
class PanelModel;
class Prompter;
struct CalibrationLogEntry;

// `jiaozhun`, "电压电流校准": the modeless calibration window. It shows every channel's
// live voltage and current as the main window's readouts change, lets the operator step the
// chosen factor of the chosen channel, restore the factory factors, and read the latest
// calibration log entries and the operating instructions. The model decides; the window
// only shows it and passes the clicks on.
class CalibrationWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int LogLines = 30;

    // Opening the window rebuilds the model's lists (channels up to lastChannel now), so a
    // new window is built for every opening; "退出" only closes it (the creator decides
    // whether closing deletes it).
    CalibrationWindow(CalibrationModel& model, const PanelModel& panel, Prompter& prompter,
                      QWidget* parent = nullptr);

    // The embedded operating document, as HTML.
    static QString instructions();

private:
    QWidget* buildReadouts();
    QWidget* buildControls();
    QWidget* buildNotes();
    void readoutChanged(int channel, Box box, const QString& text);
    void showLogEntry(const CalibrationLogEntry& entry);
    void showFactor();

    CalibrationModel& m_model;
    const PanelModel& m_panel;
    Prompter& m_prompter;
    std::array<QLineEdit*, ChannelCount> m_voltage{};
    std::array<QLineEdit*, ChannelCount> m_current{};
    QComboBox* m_channelCombo = nullptr;
    QComboBox* m_itemCombo = nullptr;
    QRadioButton* m_coarse = nullptr;
    QRadioButton* m_fine = nullptr;
    QLabel* m_factor = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QTextBrowser* m_notes = nullptr;
};

} // namespace q7rk
