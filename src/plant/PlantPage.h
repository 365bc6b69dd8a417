#pragma once

#include "plant/PieceGrid.h"
#include "plant/PlantData.h"
#include "plant/PlantSource.h"
#include "shell/Commands.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace q7rk {

class PanelModel;
class Prompter;
class SettingsStore;

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

// The plant page without widgets: the whole-roll boxes with their pick lists, the piece
// grid, opening, saving and deleting a foil, saving the laboratory values of the pieces, and
// how the upload of a group asks. An opened foil's stored curves go out as data, for the
// window's charts to show. Every plant operation opens its own connection; a failing one
// tells the operator why and leaves the boxes as they were.
class PlantPage : public QObject {
    Q_OBJECT
public:
    PlantPage(PanelModel& panel, SettingsStore& settings, Prompter& prompter,
              QObject* parent = nullptr);

    // The data source "result", with the waits the settings name, unless the tools or the
    // tests name another.
    void setSource(const PlantSource& source) { m_source = source; }
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

signals:
    void textChanged(q7rk::FoilBox box, const QString& text);
    void uploadConfirmChanged(q7rk::UploadConfirm confirm);
    // Items or visibility of a pick list.
    void listChanged(q7rk::PlantList list);
    // A stored curve of the opened foil `serial` belongs into channel k: its columns as the
    // plant's curve row holds them, up to the last one the piece's row lets show.
    void curveRecalled(int channel, const QString& serial, const std::vector<float>& columns);

private:
    struct PickList {
        QStringList items;
        bool visible = false;
    };
    void setList(PlantList list, const QStringList& items, bool visible);
    void tell(const QString& text);
    void showOpened(const OpenedFoil& opened);
    void recallCurves(const OpenedFoil& opened);
    void resetForFoil();
    void show(FoilBox box, const QString& text);
    void enter(FoilBox box, const QString& text);
    void followSerial();

    PanelModel& m_panel;
    SettingsStore& m_settings;
    Prompter& m_prompter;
    PlantSource m_source;
    PieceGrid m_grid;
    std::array<QString, FoilBoxCount> m_texts; // as shown
    // The serial the whole-roll values belong to, trimmed, and the values by box (empty: the
    // box holds none; the serial's own entry is unused).
    QString m_foilSerial;
    std::array<QString, FoilBoxCount> m_foilValues;
    std::array<PickList, 2> m_lists;
    std::function<void()> m_newTestReset;
    std::function<bool(Command)> m_gate;
};

} // namespace q7rk
