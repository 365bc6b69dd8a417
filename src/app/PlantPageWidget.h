#pragma once

#include "plant/PlantPage.h"

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QStatusBar;
class QTableWidget;

namespace q7rk {
class PlantQueuePresenter;
}

namespace q7rk {

// Tab "工厂数据库": the whole-roll boxes with their pick lists and buttons, the piece grid
// Grid2 and the piece entry boxes, bound both ways to the PlantPage. Widgets carry their
// control names (txtWhole, List1, Grid2, Cap1, CmdOpen, ...).
class PlantPageWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlantPageWidget(PlantPage& page, QWidget* parent = nullptr);

    QLineEdit* box(FoilBox box) const { return m_boxes[std::size_t(box)]; }
    QListWidget* list(PlantList list) const { return m_lists[std::size_t(list)]; }
    QTableWidget* grid() const { return m_grid; }
    QComboBox* uploadConfirm() const { return m_uploadConfirm; }
    QLineEdit* entry(PieceQuantity quantity, int row) const {
        return m_entries[std::size_t(quantity)][std::size_t(row - 1)];
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildWholeRoll();
    QWidget* buildGrid();
    QWidget* buildEntries();
    void showText(FoilBox box, const QString& text);
    void showList(PlantList list);
    void showCell(int row, int column, const QString& text);
    void showEntry(PieceQuantity quantity, int row, const QString& text);
    void showUploadConfirm(UploadConfirm confirm);

    PlantPage& m_page;
    std::array<QLineEdit*, FoilBoxCount> m_boxes{};
    std::array<QListWidget*, 2> m_lists{};
    QTableWidget* m_grid = nullptr;
    QComboBox* m_uploadConfirm = nullptr;
    std::array<std::array<QLineEdit*, PieceGrid::Rows>, 3> m_entries{};
};

// The status bar's line about the uploads waiting for the plant database: the progress of a
// retry pass, its outcome, or how many wait; hidden while there is nothing to say.
QLabel* addPlantPendingLabel(PlantQueuePresenter& queue, QStatusBar* bar);

} // namespace q7rk
