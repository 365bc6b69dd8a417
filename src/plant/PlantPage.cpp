#include "PlantPage.h"

#include "params/NumericCheck.h"
#include "params/PanelModel.h"
#include "plant/FoilRecords.h"
#include "plant/PieceRecords.h"
#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"

#include <QDate>
#include <algorithm>
#include <functional>

namespace q7rk {

namespace {

// How long the plant's connections wait, from the settings: whole seconds up to ten minutes;
// anything else (0 would wait for ever) reads as the default.
PlantWaits waitsFrom(const SettingsStore& settings) {
    const auto seconds = [&settings](const char* key) {
        const double s = settings.readNumber(section::Canshu, QString::fromLatin1(key));
        return s >= 1 && s <= 600 ? int(s) : PlantWaits::DefaultSeconds;
    };
    return {seconds(key::PlantLoginTimeout), seconds(key::PlantStatementTimeout)};
}

QString valueText(const QVariant& v) {
    return v.isNull() ? plantTexts::emptyValue() : formatNumber(v.toDouble());
}

// Success is said only when every tested piece found its row; each piece written is named
// with what it holds now.
QString savedCellsReport(const SavedCells& saved) {
    if (saved.written.empty() && saved.withoutRow.isEmpty()) return plantTexts::noTestedPieces();
    QStringList lines;
    lines << (saved.withoutRow.isEmpty()
                  ? plantTexts::piecesSaved()
                  : plantTexts::piecesWithoutRow(plantTexts::pieceLabels(saved.withoutRow)));
    for (const SavedPiece& p : saved.written)
        lines << plantTexts::pieceCellsWritten(p.curveNumber, valueText(p.values[0]),
                                               valueText(p.values[1]), valueText(p.values[2]));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

PlantPage::PlantPage(PanelModel& panel, SettingsStore& settings, Prompter& prompter,
                     QObject* parent)
    : QObject(parent), m_panel(panel), m_settings(settings), m_prompter(prompter),
      m_source(QString::fromLatin1(PlantSource::DefaultName), waitsFrom(settings)) {
    // The serial box follows channel 1's test number, whichever channel's number changed.
    connect(&m_panel, &PanelModel::textChanged, this, [this](int, Box box, const QString&) {
        if (box == Box::TvTestNumber) setText(FoilBox::Serial, m_panel.text(0, Box::TvTestNumber));
    });
}

UploadConfirm PlantPage::uploadConfirm() const {
    const QString value = m_settings.read(section::Canshu, QString::fromLatin1(key::UploadConfirm));
    return value.trimmed().compare(QLatin1String("once"), Qt::CaseInsensitive) == 0
               ? UploadConfirm::Once
               : UploadConfirm::EachPiece;
}

void PlantPage::setUploadConfirm(UploadConfirm confirm) {
    if (confirm == uploadConfirm()) return;
    m_settings.write(section::Canshu, QString::fromLatin1(key::UploadConfirm),
                     confirm == UploadConfirm::Once ? QStringLiteral("once")
                                                    : QStringLiteral("each"));
    emit uploadConfirmChanged(confirm);
}

QString PlantPage::uploadConfirmLabel(UploadConfirm confirm) {
    return confirm == UploadConfirm::Once ? QStringLiteral("一次") : QStringLiteral("逐片");
}

QString PlantPage::boxName(FoilBox box) {
    static const char* const names[] = {"txtWhole",  "txtWhole1", "VFText",
                                        "txtWhole3", "txtWhole4", "txtWhole6",
                                        "txtWhole8", "txtWhole7", "txtWhole5"};
    return QString::fromLatin1(names[int(box)]);
}

QString PlantPage::boxLabel(FoilBox box) {
    static const char* const labels[] = {"编号：", "规格：",   "VF值：", "长度：",  "面积：",
                                         "重量：", "IQ编号：", "线别：", "接头数："};
    return QString::fromUtf8(labels[int(box)]);
}

bool PlantPage::upperCasesTyping(FoilBox box) {
    return box == FoilBox::Serial || box == FoilBox::Grade || box == FoilBox::IqNumber ||
           box == FoilBox::ProductionLine;
}

QString PlantPage::text(FoilBox box) const {
    return m_texts[std::size_t(box)];
}

void PlantPage::show(FoilBox box, const QString& text) {
    QString& t = m_texts[std::size_t(box)];
    if (t == text) return;
    t = text;
    emit textChanged(box, text);
}

void PlantPage::setText(FoilBox box, const QString& text) {
    show(box, text);
    if (box == FoilBox::Serial)
        followSerial();
    else if (trimBlanks(this->text(FoilBox::Serial)) == m_foilSerial)
        m_foilValues[std::size_t(box)].clear();
}

void PlantPage::typeText(FoilBox box, const QString& text) {
    enter(box, upperCasesTyping(box) ? upperCaseTyped(text) : text);
}

// The operator's entry: into a whole-roll box, a value of the serial shown, which the page
// now holds instead of another serial's.
void PlantPage::enter(FoilBox box, const QString& text) {
    if (box == FoilBox::Serial) {
        setText(box, text);
        return;
    }
    const QString serial = trimBlanks(this->text(FoilBox::Serial));
    if (serial != m_foilSerial) {
        m_foilSerial = serial;
        m_foilValues = {};
    }
    m_foilValues[std::size_t(box)] = trimBlanks(text).isEmpty() ? QString() : text;
    show(box, text);
}

// Another serial's values are not shown as if they were this one's.
void PlantPage::followSerial() {
    const bool own = trimBlanks(text(FoilBox::Serial)) == m_foilSerial;
    for (int b = 0; b < FoilBoxCount; ++b) {
        const QString& value = m_foilValues[std::size_t(b)];
        if (FoilBox(b) != FoilBox::Serial && !value.isEmpty())
            show(FoilBox(b), own ? value : QString());
    }
}

std::optional<FoilRecord> PlantPage::heldFoil(const QString& serial) const {
    const QString s = trimBlanks(serial);
    if (s != m_foilSerial ||
        std::all_of(m_foilValues.begin(), m_foilValues.end(), std::mem_fn(&QString::isEmpty)))
        return std::nullopt;
    const auto& v = m_foilValues;
    return FoilRecord{s, v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]};
}

FoilRecord PlantPage::record() const {
    return {text(FoilBox::Serial),   text(FoilBox::Grade),          text(FoilBox::Vf),
            text(FoilBox::Length),   text(FoilBox::Area),           text(FoilBox::Weight),
            text(FoilBox::IqNumber), text(FoilBox::ProductionLine), text(FoilBox::Joints)};
}

void PlantPage::setList(PlantList list, const QStringList& items, bool visible) {
    PickList& l = m_lists[std::size_t(list)];
    if (l.items == items && l.visible == visible) return;
    l.items = items;
    l.visible = visible;
    emit listChanged(list);
}

void PlantPage::tell(const QString& text) {
    m_prompter.inform(programTitle::full(), text);
}

void PlantPage::showSerialList() {
    setList(PlantList::Serials, {}, true);
    const auto serials = FoilRecords(m_source).listSerials(text(FoilBox::Serial));
    if (!serials.ok()) {
        setList(PlantList::Serials, {}, false);
        tell(serials.status.message);
        return;
    }
    setList(PlantList::Serials, serials.value, !serials.value.isEmpty());
}

void PlantPage::showGradeList() {
    setList(PlantList::Grades, {}, true);
    const FoilRecords foils(m_source);
    const QString typed = trimBlanks(text(FoilBox::Grade));
    PlantStatus status;
    QStringList items;
    if (typed.isEmpty()) {
        const auto all = foils.listGrades();
        status = all.status;
        items = all.value;
    } else {
        const auto known = foils.hasGrade(typed);
        status = known.status;
        bool present = known.ok() && known.value;
        if (known.ok() && !present &&
            m_prompter.ask(Question::AddGrade, plantTexts::questionTitle(),
                           plantTexts::addGradeQuestion())) {
            status = foils.addGrade(typed);
            present = status.ok();
        }
        if (present) items << typed;
    }
    setList(PlantList::Grades, items, status.ok() && !items.isEmpty());
    if (!status.ok()) tell(status.message);
}

void PlantPage::takeListItem(PlantList list, const QString& item) {
    enter(list == PlantList::Serials ? FoilBox::Serial : FoilBox::Grade, item);
    setList(list, listItems(list), false);
}

void PlantPage::startUp() {
    setText(FoilBox::Serial, m_panel.text(0, Box::TvTestNumber));
    setText(FoilBox::Vf, m_panel.text(0, Box::FormationVoltage));
    resetPieceGrid();
}

void PlantPage::resetPieceGrid() {
    for (FoilBox box : {FoilBox::Length, FoilBox::Area, FoilBox::ProductionLine, FoilBox::Weight,
                        FoilBox::IqNumber}) {
        m_foilValues[std::size_t(box)].clear();
        show(box, QString());
    }
    m_grid.clear();
}

void PlantPage::resetForFoil() {
    if (m_newTestReset) m_newTestReset();
    resetPieceGrid();
}

bool PlantPage::openFoil() {
    if (m_gate && !m_gate(Command::OpenFoil)) return false;
    // Everything is read before anything changes, so a database that fails leaves the page
    // and the panels as they were.
    const auto opened = FoilRecords(m_source).open(text(FoilBox::Serial));
    if (!opened.ok()) {
        tell(opened.status.message);
        return false;
    }
    resetForFoil();
    // The boxes are the opened serial's now, whether the plant had its row or not.
    if (const QString serial = trimBlanks(text(FoilBox::Serial)); serial != m_foilSerial) {
        m_foilSerial = serial;
        m_foilValues = {};
    }
    showOpened(opened.value);
    return opened.value.foil.has_value();
}

void PlantPage::showOpened(const OpenedFoil& opened) {
    if (opened.foil) {
        const FoilRecord& f = *opened.foil;
        const QString texts[] = {f.serial,   f.grade,          f.vf,    f.length, f.area, f.weight,
                                 f.iqNumber, f.productionLine, f.joints};
        setText(FoilBox::Serial, f.serial);
        m_foilSerial = trimBlanks(f.serial);
        for (int b = 1; b < FoilBoxCount; ++b) {
            m_foilValues[std::size_t(b)] = trimBlanks(texts[b]).isEmpty() ? QString() : texts[b];
            show(FoilBox(b), texts[b]);
        }
        // The VF goes in only when the box's own check would keep it: a formation voltage
        // out of range would drive the next test. No new axes, as for any program write.
        const NumericRule& rule = *numericRule(Box::FormationVoltage);
        const bool vfTaken = passes(rule, f.vf);
        for (int k = 0; k < ChannelsPerGroup; ++k) {
            if (vfTaken) m_panel.setText(k, Box::FormationVoltage, f.vf);
            m_panel.setText(k, Box::TvTestNumber, f.serial);
        }
        if (!vfTaken)
            tell(plantTexts::vfNotTaken(trimBlanks(f.vf), formatNumber(rule.lower),
                                        formatNumber(rule.upper)));
    }
    m_grid.fill(opened.pieces);
    recallCurves(opened);
}

void PlantPage::recallCurves(const OpenedFoil& opened) {
    std::array<int, PieceGrid::Rows + 1> riseTime{};
    for (const LoadedPiece& p : opened.pieces)
        riseTime[std::size_t(p.curveNumber)] = p.riseTimeWhole;
    for (const StoredCurve& c : opened.curves) {
        const int k = c.curveNumber - 1;
        const int last = lastDrawnColumn(c.curveNumber, riseTime[std::size_t(c.curveNumber)],
                                         int(c.values.size()));
        if (k < 0 || k >= ChannelCount || last < 0) continue;
        emit curveRecalled(k, text(FoilBox::Serial),
                           std::vector<float>(c.values.begin(), c.values.begin() + last + 1));
    }
}

void PlantPage::saveFoil() {
    const auto saved = FoilRecords(m_source).save(record(), QDate::currentDate());
    tell(saved.ok() ? plantTexts::foilSaved() : saved.status.message);
}

void PlantPage::deleteFoil() {
    if (m_gate && !m_gate(Command::DeleteFoil)) return;
    if (!m_prompter.ask(Question::DeleteFoil, plantTexts::questionTitle(),
                        plantTexts::deleteQuestion(trimBlanks(text(FoilBox::Serial)))))
        return;
    const PlantStatus removed = FoilRecords(m_source).remove(text(FoilBox::Serial));
    if (!removed.ok()) {
        tell(removed.message);
        return;
    }
    tell(plantTexts::foilDeleted());
    resetForFoil();
    m_foilSerial.clear();
    m_foilValues = {};
    // One blank each, VF keeps its text.
    for (int b = 0; b < FoilBoxCount; ++b)
        if (FoilBox(b) != FoilBox::Vf) setText(FoilBox(b), QStringLiteral(" "));
}

void PlantPage::savePieces() {
    const auto saved = PieceRecords(m_source).saveCells(text(FoilBox::Serial), m_grid.table());
    tell(saved.ok() ? savedCellsReport(saved.value) : saved.status.message);
}

} // namespace q7rk
