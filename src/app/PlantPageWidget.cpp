#include "PlantPageWidget.h"

#include "app/UiLog.h"
#include "plant/PlantQueuePresenter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

namespace q7rk {

namespace {

constexpr int TwipsPerPixel = 15;

constexpr int px(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

QRect twipRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// Where the boxes of the whole-roll record sit, in twips: label left, box left, top, width.
struct BoxPlace {
    FoilBox box;
    int labelLeft, left, top, width;
};
constexpr BoxPlace kPlaces[] = {
    {FoilBox::Serial, 360, 1200, 360, 2500},    {FoilBox::Grade, 4080, 4920, 360, 2000},
    {FoilBox::Vf, 7200, 8040, 360, 1200},       {FoilBox::Length, 360, 1200, 840, 1200},
    {FoilBox::Area, 2640, 3480, 840, 1200},     {FoilBox::Weight, 4920, 5760, 840, 1200},
    {FoilBox::IqNumber, 360, 1200, 1320, 1200}, {FoilBox::ProductionLine, 2640, 3480, 1320, 1200},
    {FoilBox::Joints, 4920, 5760, 1320, 1200},
};
constexpr int kBoxHeight = 330;

const char* const kQuantityNames[] = {"Cap", "Bend", "Pull"};
const char* const kQuantityLabels[] = {"比容:", "折弯:", "抗拉:"};
const char* const kPieceLabels[] = {"1", "2", "3", "1'", "2'", "3'"};

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

PlantPageWidget::PlantPageWidget(PlantPage& page, QWidget* parent) : QWidget(parent), m_page(page) {
    setObjectName(QStringLiteral("PlantPage"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildWholeRoll());
    auto* lower = new QHBoxLayout;
    lower->addWidget(buildGrid());
    lower->addWidget(buildEntries());
    lower->addStretch();
    layout->addLayout(lower);
    layout->addStretch();

    connect(&m_page, &PlantPage::textChanged, this, &PlantPageWidget::showText);
    connect(&m_page, &PlantPage::listChanged, this, &PlantPageWidget::showList);
    connect(&m_page.grid(), &PieceGrid::cellChanged, this, &PlantPageWidget::showCell);
    connect(&m_page.grid(), &PieceGrid::entryChanged, this, &PlantPageWidget::showEntry);
    for (int b = 0; b < FoilBoxCount; ++b)
        showText(FoilBox(b), m_page.text(FoilBox(b)));
    for (PlantList l : {PlantList::Serials, PlantList::Grades})
        showList(l);
}

QWidget* PlantPageWidget::buildWholeRoll() {
    auto* area = new QWidget(this);
    area->setMinimumSize(px(10000), px(2400));
    for (const BoxPlace& p : kPlaces) {
        auto* edit = new QLineEdit(area);
        edit->setObjectName(PlantPage::boxName(p.box));
        edit->setGeometry(twipRect(p.left, p.top, p.width, kBoxHeight));
        auto* label = new QLabel(PlantPage::boxLabel(p.box), area);
        label->setGeometry(twipRect(p.labelLeft, p.top, p.left - p.labelLeft, kBoxHeight));
        label->setBuddy(edit);
        const FoilBox box = p.box;
        connect(edit, &QLineEdit::textEdited, this,
                [this, box](const QString& text) { m_page.typeText(box, text); });
        edit->installEventFilter(this);
        m_boxes[std::size_t(box)] = edit;
    }
    auto* dateLabel = new QLabel(QStringLiteral("日期："), area);
    dateLabel->setGeometry(twipRect(7200, 840, 840, kBoxHeight));
    auto* date = new QDateEdit(QDate::currentDate(), area);
    date->setObjectName(QStringLiteral("DTPicker1"));
    date->setCalendarPopup(true);
    date->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    date->setGeometry(twipRect(8040, 840, 1500, kBoxHeight));

    // The lists open over their boxes, so they come after them.
    const QRect listPlaces[] = {twipRect(1200, 360, 2500, 1500), twipRect(4920, 360, 2000, 1500)};
    const char* const listNames[] = {"List1", "List2"};
    for (int l = 0; l < 2; ++l) {
        auto* list = new QListWidget(area);
        list->setObjectName(QString::fromLatin1(listNames[l]));
        list->setGeometry(listPlaces[l]);
        list->hide();
        const PlantList which = PlantList(l);
        connect(list, &QListWidget::itemClicked, this,
                [this, which](QListWidgetItem* item) { m_page.takeListItem(which, item->text()); });
        m_lists[std::size_t(l)] = list;
    }

    const struct {
        const char* name;
        const char* caption;
        std::function<void()> action;
    } buttons[] = {{"CmdOpen", "打开", [this] { m_page.openFoil(); }},
                   {"CmdSave1", "保存", [this] { m_page.saveFoil(); }},
                   {"Cmddel", "删除", [this] { m_page.deleteFoil(); }}};
    // 上传确认 beside the buttons: how a save asks about the group's pieces.
    auto* confirmLabel = new QLabel(QStringLiteral("上传确认："), area);
    confirmLabel->setGeometry(twipRect(360, 1845, 1200, kBoxHeight));
    m_uploadConfirm = new QComboBox(area);
    m_uploadConfirm->setObjectName(QStringLiteral("uploadConfirm"));
    m_uploadConfirm->setToolTip(QStringLiteral("逐片：每片上传前各问一次，每片保存后各提示一次；"
                                               "一次：整组只问一次，最后一次说明每片的结果"));
    for (UploadConfirm c : {UploadConfirm::EachPiece, UploadConfirm::Once})
        m_uploadConfirm->addItem(PlantPage::uploadConfirmLabel(c), int(c));
    m_uploadConfirm->setGeometry(twipRect(1560, 1800, 1200, 420));
    confirmLabel->setBuddy(m_uploadConfirm);
    showUploadConfirm(m_page.uploadConfirm());
    connect(m_uploadConfirm, &QComboBox::activated, this, [this](int index) {
        m_page.setUploadConfirm(UploadConfirm(m_uploadConfirm->itemData(index).toInt()));
    });
    connect(&m_page, &PlantPage::uploadConfirmChanged, this, &PlantPageWidget::showUploadConfirm);

    int left = 7200;
    for (const auto& b : buttons) {
        auto* push = button(QString::fromLatin1(b.name), QString::fromUtf8(b.caption), area);
        push->setGeometry(twipRect(left, 1800, 900, 420));
        connect(push, &QPushButton::clicked, this, b.action);
        left += 1000;
    }
    return area;
}

QWidget* PlantPageWidget::buildGrid() {
    auto* frame = new QGroupBox(QStringLiteral("曲线选择"), this);
    auto* layout = new QVBoxLayout(frame);
    constexpr int size = PieceGrid::Rows + 1;
    m_grid = new QTableWidget(size, size, frame);
    m_grid->setObjectName(QStringLiteral("Grid2"));
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->verticalHeader()->setMinimumSectionSize(1);
    m_grid->horizontalHeader()->setMinimumSectionSize(1);
    const QColor fixed = palette().color(QPalette::Button);
    int width = 0, height = 0;
    for (int c = 0; c < size; ++c) {
        m_grid->setColumnWidth(c, px(PieceGrid::columnWidth(c)));
        width += m_grid->columnWidth(c);
    }
    for (int r = 0; r < size; ++r) {
        m_grid->setRowHeight(r, px(PieceGrid::RowHeight));
        height += m_grid->rowHeight(r);
        for (int c = 0; c < size; ++c) {
            auto* item = new QTableWidgetItem;
            if (r == 0 || c == 0) {
                item->setText(r == 0 ? PieceGrid::columnHeader(c) : PieceGrid::rowHeader(r));
                item->setBackground(fixed);
            } else {
                item->setText(m_page.grid().cell(r, c));
                item->setBackground(PieceGrid::rowColour(r));
            }
            m_grid->setItem(r, c, item);
        }
    }
    const int frameWidth = 2 * m_grid->frameWidth();
    m_grid->setFixedSize(width + frameWidth, height + frameWidth);
    layout->addWidget(m_grid);
    return frame;
}

QWidget* PlantPageWidget::buildEntries() {
    auto* frame = new QGroupBox(QStringLiteral("单片参数"), this);
    auto* grid = new QGridLayout(frame);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    for (int row = 1; row <= PieceGrid::Rows; ++row)
        grid->addWidget(new QLabel(QString::fromLatin1(kPieceLabels[row - 1]), frame), 0, row,
                        Qt::AlignCenter);
    for (int q = 0; q < 3; ++q) {
        grid->addWidget(new QLabel(QString::fromUtf8(kQuantityLabels[q]), frame), q + 1, 0);
        for (int row = 1; row <= PieceGrid::Rows; ++row) {
            auto* edit = new QLineEdit(frame);
            edit->setObjectName(QString::fromLatin1(kQuantityNames[q]) + QString::number(row));
            edit->setFixedWidth(px(750));
            edit->setText(m_page.grid().entry(PieceQuantity(q), row));
            const PieceQuantity quantity = PieceQuantity(q);
            connect(edit, &QLineEdit::textEdited, this, [this, quantity, row](const QString& t) {
                m_page.grid().setEntry(quantity, row, t);
            });
            grid->addWidget(edit, q + 1, row);
            m_entries[std::size_t(q)][std::size_t(row - 1)] = edit;
        }
    }
    auto* save = button(QStringLiteral("Cmdsave"), QStringLiteral("保存"), frame);
    connect(save, &QPushButton::clicked, &m_page, &PlantPage::savePieces);
    grid->addWidget(save, 4, PieceGrid::Rows - 1, 1, 2);
    return frame;
}

bool PlantPageWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == box(FoilBox::Serial)) {
            m_page.showSerialList();
            return true;
        }
        if (watched == box(FoilBox::Grade)) {
            m_page.showGradeList();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PlantPageWidget::showText(FoilBox b, const QString& text) {
    QLineEdit* edit = box(b);
    if (edit->text() == text) return;
    // Upper-casing comes back while the operator types: the cursor stays where it was.
    const int cursor = edit->cursorPosition();
    const QSignalBlocker quiet(edit);
    edit->setText(text);
    edit->setCursorPosition(std::min(cursor, int(text.size())));
}

void PlantPageWidget::showList(PlantList l) {
    QListWidget* widget = list(l);
    widget->clear();
    widget->addItems(m_page.listItems(l));
    const bool visible = m_page.listVisible(l);
    widget->setVisible(visible);
    if (visible) widget->raise();
    box(l == PlantList::Serials ? FoilBox::Serial : FoilBox::Grade)->setVisible(!visible);
}

void PlantPageWidget::showCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* item = m_grid->item(row, column)) item->setText(text);
}

void PlantPageWidget::showEntry(PieceQuantity quantity, int row, const QString& text) {
    QLineEdit* edit = entry(quantity, row);
    if (edit->text() == text) return;
    const QSignalBlocker quiet(edit);
    edit->setText(text);
}

void PlantPageWidget::showUploadConfirm(UploadConfirm confirm) {
    m_uploadConfirm->setCurrentIndex(m_uploadConfirm->findData(int(confirm)));
}

QLabel* addPlantPendingLabel(PlantQueuePresenter& queue, QStatusBar* bar) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("plantPending"));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto show = [label](const QString& text) {
        if (label->text() != text) uilog::status(label->objectName(), text);
        label->setText(text);
        label->setVisible(!text.isEmpty());
    };
    bar->addPermanentWidget(label);
    QObject::connect(&queue, &PlantQueuePresenter::queueStatusChanged, label, show);
    show(queue.queueStatus());
    return label;
}

} // namespace q7rk
