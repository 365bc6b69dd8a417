#pragma once

#include "kinds/Box.h"
#include "results/SavePass.h"

#include <QObject>
#include <QString>

namespace q7rk {

class CommandGate;
class PanelModel;
class PieceUploadWorkflow;
class Prompter;
class ResultStore;
class RunConditionsRecorder;
class RunController;
class SettingsStore;
class ShellModel;
class TestLifecycle;
struct ChannelModel;

// 保存 and what leads to it: the question at the end of a run, the finished tests of the
// last run into the result files, then their TV pieces to the plant, and the count of
// stored tests on status panel 7.
class SaveWorkflow : public QObject {
    Q_OBJECT
public:
    struct Parts {
        CommandGate& gate;
        TestLifecycle& tests;
        ResultStore& results;
        const ChannelModel& channels;
        const PanelModel& panel;
        const RunController& run;
        const RunConditionsRecorder& conditions;
        PieceUploadWorkflow& pieceUpload;
        SettingsStore& settings;
        ShellModel& shell;
        Prompter& prompter;
    };
    explicit SaveWorkflow(const Parts& parts, QObject* parent = nullptr);

    // False when it refused or failed (the operator has been told why).
    bool save();
    const SaveReport& lastSave() const { return m_lastSave; }

    // A new run: nothing of it is stored yet.
    void runStarted();
    // The run is over: the lifecycle learns which tests it judged, and the operator hears
    // why it ended and is asked about saving in one dialog. Nothing is said when quitting
    // without questions.
    void runEnded(bool silently);
    // The plant queue sent what it could; `left` entries wait still.
    void plantQueueRetried(int left);

signals:
    // A save was refused for a required box left empty.
    void missingBoxShown(int channel, q7rk::Box box);

private:
    Parts m_parts;
    SavePass m_savePass;
    SaveReport m_lastSave;
    QString m_savedStatus; // panel 8 after the last save, without the plant's note
};

} // namespace q7rk
