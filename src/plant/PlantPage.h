#pragma once

#include "plant/PieceGrid.h"
#include "plant/PlantData.h"
#include "plant/PlantSource.h"
#include "plant/PlantUploader.h"
#include "plant/QueueRetrier.h"
#include "shell/Commands.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace q7rk {

class ChartSet;
class CurvePlotter;
class PanelModel;
class Prompter;
class SampleStore;
class SettingsStore;
struct ChannelModel;

// The whole-roll boxes of the plant page, by what they hold.
enum class FoilBox {
    Serial,         // txtWhole "编号："
    Grade,          // txtWhole1 "规格："
    Vf,             // VFText "VF值："
    Length,         // txtWhole3 "长度："
    Area,           // txtWhole4 "面积："
    Weight,         // txtWhole6 "重量："
    IqNumber,       // txtWhole8 "IQ编号："
    ProductionLine, // txtWhole7 "线别："
    Joints,         // txtWhole5 "接头数："
};
constexpr int FoilBoxCount = 9;

// The two pick lists that open under their boxes.
enum class PlantList {
    Serials, // List1 under txtWhole
    Grades,  // List2 under txtWhole1
};

// How a group's upload asks the operator (setting uploadConfirm): about every piece, each
// stored piece told in a message of its own; or once for all pieces, with one summary after.
enum class UploadConfirm {
    EachPiece, // "each", the default
    Once,      // "once"
};

// What became of one piece of an uploaded group.
enum class PieceFate {
    Stored,   // in the plant database now
    Queued,   // not sent; the local queue holds it for a retry
    Refused,  // cannot go as it is (a value to correct, a curve longer than the table, a newer
              // test of the piece): held in the outbox for the operator
    NotKept,  // not sent, and the outbox could not note it (the entry stays as it was)
    Declined, // the operator answered No: the outbox keeps it as not sent
};

struct PieceOutcome {
    int curveNumber = 0; // 1..6
    int channel = -1;    // the channel the piece came from
    PieceFate fate = PieceFate::Stored;
    QString reason; // why it is not in the plant database; empty for Stored and Declined
};

// What the upload of a group did.
struct PlantUploadResult {
    QList<PieceOutcome> pieces; // ascending curve number
    // The same by outcome, ascending.
    QList<int> uploaded; // Stored
    QList<int> queued;   // Queued
    QList<int> declined; // Declined
    QList<int> failed;   // Refused or NotKept: not in the plant database and not waiting
    // Pieces 1 and 1' that went (or wait) without whole-roll data: the page held none for
    // their serial.
    QList<int> withoutFoil;
    // What the operator was told about the pieces that are not in the plant database: a
    // first line naming them, then one line per outcome and cause. Empty when every piece
    // the operator wanted went.
    QString message;
};

// The plant page without widgets: the whole-roll boxes with their pick lists, the piece
// grid, opening, saving and deleting a foil, saving the laboratory values of the pieces,
// the upload of a finished group (Savecanshu1) with store-and-forward, and the retry of what
// waits. Every plant operation opens its own connection; a failing one tells the operator
// why and leaves the boxes as they were.
class PlantPage : public QObject {
    Q_OBJECT
public:
    PlantPage(ChannelModel& channels, PanelModel& panel, ChartSet& charts, CurvePlotter& plotter,
              const SampleStore& samples, SettingsStore& settings, Prompter& prompter,
              QObject* parent = nullptr);

    // The data source "result", with the waits the settings name, and the queue in the working
    // directory, unless the tools or the tests name others.
    void setSource(const PlantSource& source,
                   const QString& queuePath = QString::fromLatin1(UploadQueue::FileName));
    const PlantSource& source() const { return m_source; }

    // The window's new-test reset, which opening and deleting a foil run first.
    void setNewTestReset(std::function<void()> reset) { m_newTestReset = std::move(reset); }
    // Asked with Command::OpenFoil or Command::DeleteFoil before 打开 and 删除 change anything
    // (they reset the channels); false leaves page and channels as they are.
    void setCommandGate(std::function<bool(Command)> gate) { m_gate = std::move(gate); }

    static QString boxName(FoilBox box);  // "txtWhole", "VFText", ...
    static QString boxLabel(FoilBox box); // "编号：", ...
    static bool upperCasesTyping(FoilBox box);

    QString text(FoilBox box) const;
    // The program writes a box; what it writes is no value of the foil. Written into the
    // serial box, it is the serial moving (below).
    void setText(FoilBox box, const QString& text);
    // The operator types into a box: in the serial, grade, IQ-number and line boxes
    // a-z come out as A-Z. What is typed into a whole-roll box is a value of the serial shown.
    void typeText(FoilBox box, const QString& text);
    // The boxes as shown.
    FoilRecord record() const;

    // The whole-roll boxes belong to the serial they were opened (打开) or typed for. When
    // the serial box (which follows channel 1's test number) moves to another serial, the
    // boxes holding values of the old one are emptied; they show them again when it comes
    // back, until values of another serial are typed or another foil is opened.
    QString foilSerial() const { return m_foilSerial; }
    // What the page holds for `serial`: the boxes not blank that belong to it (the others
    // empty); none when it holds nothing for it.
    std::optional<FoilRecord> heldFoil(const QString& serial) const;

    bool listVisible(PlantList list) const { return m_lists[std::size_t(list)].visible; }
    QStringList listItems(PlantList list) const { return m_lists[std::size_t(list)].items; }
    // Double-click on txtWhole: the serial numbers containing its text.
    void showSerialList();
    // Double-click on txtWhole1: every grade when the box is empty, else the one
    // typed, offering to add it when it is not known.
    void showGradeList();
    // A click on an item: it goes into the list's box and the list closes.
    void takeListItem(PlantList list, const QString& item);

    PieceGrid& grid() { return m_grid; }
    const PieceGrid& grid() const { return m_grid; }

    // Start-up: the serial and VF boxes take channel 1's test number and formation voltage,
    // then the grid is set up.
    void startUp();
    // The grid set-up: empties the grid, the piece entry boxes and five whole-roll boxes,
    // which then hold no value of the foil.
    void resetPieceGrid();

    bool openFoil();   // 打开: true when the foil's whole-roll record was found and shown
    void saveFoil();   // 保存 (CmdSave1)
    void deleteFoil(); // 删除
    void savePieces(); // 保存 (Cmdsave)

    // 上传确认, kept in the settings: 逐片 or 一次.
    UploadConfirm uploadConfirm() const;
    void setUploadConfirm(UploadConfirm confirm);
    static QString uploadConfirmLabel(UploadConfirm confirm); // "逐片", "一次"

    // Savecanshu1 for each TV channel of the range (or of the list), after the local store:
    // asks "第n片数据是否保存?（卷号 S）" (or, set to ask once, one question for the pieces of
    // each foil), the first question saying what becomes of S's whole-roll record; sends the
    // piece, or keeps it in the queue when the plant database cannot take it now. Pieces 1
    // and 1' merge into S's whole-roll row what the page holds for S, and nothing when it
    // holds nothing for S. The last piece built leaves its curve length in sampleIndex.
    PlantUploadResult uploadGroup(int firstChannel, int lastChannel);
    PlantUploadResult uploadChannels(const QList<int>& channels);
    // Channel k as the piece the panel makes of it now.
    RunPiece runPiece(int k) const;
    // The same for pieces taken earlier (offered again by a later 保存 of the same run).
    // A piece with an outbox entry goes as that entry, with the page's values of now.
    PlantUploadResult uploadPieces(const QList<RunPiece>& pieces);
    // The write that puts the piece of channel k into the outbox with its test's save (its
    // entry's id lands in `id`); nothing to write when the piece cannot be built.
    UploadQueue::WithSave outboxWrite(const RunPiece& piece, std::shared_ptr<qint64> id) const;
    const UploadQueue& outbox() const { return m_uploader.queue(); }
    const PlantUploadResult& lastUpload() const { return m_lastUpload; }

    // Quiet: the automatic pass (program start) passes by the held entries. Operator: the
    // queue window's pass, held entries too.
    enum class RetryMode { Quiet, Operator };
    // Starts one pass over the waiting uploads (all, or the entries named) on a thread of its
    // own and returns at once; queueRetried follows. False when nothing was started: a pass
    // runs already, or nothing waits that the pass would send.
    bool retryQueue(RetryMode mode = RetryMode::Quiet, const std::vector<qint64>& only = {});
    bool retrying() const { return m_retrier.running(); }
    // The pass stops before its next piece (quitting); queueRetried follows.
    void cancelRetry() { m_retrier.cancel(); }
    int pendingCount() const { return m_pending.total; }
    int heldCount() const { return m_pending.held; }
    const RetryReport& lastRetry() const { return m_lastRetry; }
    // What the queue window lists, oldest first.
    PlantReply<std::vector<QueuedUpload>> queuedUploads() const {
        return m_uploader.queue().entries();
    }
    // 删除所选: asks first, naming each piece; true when they are gone.
    bool removeQueued(const std::vector<QueuedUpload>& entries);
    // One line for the status bar: the pass's progress while one runs, then its outcome,
    // otherwise what waits; empty when nothing does.
    QString queueStatus() const;

signals:
    void textChanged(q7rk::FoilBox box, const QString& text);
    void uploadConfirmChanged(q7rk::UploadConfirm confirm);
    // Items or visibility of a pick list.
    void listChanged(q7rk::PlantList list);
    // Uploads waiting in the local queue (held ones too), whatever changed the count or the
    // number held.
    void pendingChanged(int count);
    // A stored curve of the opened foil was drawn into channel k.
    void curveRecalled(int channel, const QString& serial);
    // A retry pass sent `sent` waiting uploads and left `left` in the queue; left == 0
    // means everything that waited is now in the plant database.
    void queueRetried(int sent, int left);
    // queueStatus() changed: a pass began, moved on or ended, or the queue changed.
    void queueStatusChanged(const QString& text);

private:
    struct PickList {
        QStringList items;
        bool visible = false;
    };
    void setList(PlantList list, const QStringList& items, bool visible);
    void tell(const QString& text);
    void showOpened(const OpenedFoil& opened);
    void drawCurves(const OpenedFoil& opened);
    void resetForFoil();
    void updatePending();
    void retryFinished();
    void showQueueStatus();
    std::optional<PieceUpload> pieceUpload(const RunPiece& rp,
                                           const std::optional<FoilRecord>& foil) const;
    PlantReply<qint64> outboxEntry(const RunPiece& rp, const std::optional<FoilRecord>& foil);
    void refreshFromPage(const std::vector<qint64>& ids);
    QString firstQuestionNote(const QList<RunPiece>& pieces, PlantStatus& unreachable);
    void show(FoilBox box, const QString& text);
    void enter(FoilBox box, const QString& text);
    void followSerial();
    bool askOnce(const QList<RunPiece>& pieces, const QString& serial, const QString& note);

    ChannelModel& m_channels;
    PanelModel& m_panel;
    ChartSet& m_charts;
    CurvePlotter& m_plotter;
    const SampleStore& m_samples;
    SettingsStore& m_settings;
    Prompter& m_prompter;
    PlantSource m_source;
    PlantUploader m_uploader;
    PieceGrid m_grid;
    std::array<QString, FoilBoxCount> m_texts; // as shown
    // The serial the whole-roll values belong to, trimmed, and the values by box (empty: the
    // box holds none; the serial's own entry is unused).
    QString m_foilSerial;
    std::array<QString, FoilBoxCount> m_foilValues;
    std::array<PickList, 2> m_lists;
    std::function<void()> m_newTestReset;
    std::function<bool(Command)> m_gate;
    QueueCounts m_pending;
    RetryReport m_lastRetry;
    QString m_retryProgress; // while a pass runs
    QString m_retryOutcome;  // after it, until the queue changes otherwise
    QString m_shownStatus;
    PlantUploadResult m_lastUpload;
    // Last: its thread is joined before anything it reports to goes.
    QueueRetrier m_retrier;
};

} // namespace q7rk
