#include "PlantPage.h"

#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "kinds/TestKindDescription.h"
#include "params/NumericCheck.h"
#include "params/PanelModel.h"
#include "plant/FoilRecords.h"
#include "plant/PieceRecords.h"
#include "plant/PlantConnection.h"
#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SampleStore.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"

#include <QDate>
#include <QHash>
#include <algorithm>
#include <functional>

namespace q7rk {

namespace {

QString questionTitle() {
    return QStringLiteral("信息提示");
}

// How long the plant's connections wait, from the settings: whole seconds up to ten minutes;
// anything else (0 would wait for ever) reads as the default.
PlantWaits waitsFrom(const SettingsStore& settings) {
    const auto seconds = [&settings](const char* key) {
        const double s = settings.readNumber(section::Canshu, QString::fromLatin1(key));
        return s >= 1 && s <= 600 ? int(s) : PlantWaits::DefaultSeconds;
    };
    return {seconds(key::PlantLoginTimeout), seconds(key::PlantStatementTimeout)};
}

// After these the next piece would wait for the same refusal or time-out.
bool serverUnusable(PlantFault f) {
    return f == PlantFault::NoDriver || f == PlantFault::NoDataSource ||
           f == PlantFault::LoginRefused || f == PlantFault::ServerAway;
}

// The time axis that shows a stored curve of `lastColumn` + 1 points whole, as a recalled
// test is shown: 10 points and more from the middle of the chart on.
float timeScaleFor(int lastColumn) {
    float scale = 1.0f / 32;
    for (int limit = 10; lastColumn >= limit && scale < 32; limit *= 2)
        scale *= 2;
    return scale;
}

QString curveNumbers(const QList<int>& numbers) {
    QStringList texts;
    for (int n : numbers)
        texts << plantTexts::pieceLabel(n);
    return texts.join(QStringLiteral("、"));
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
                  : plantTexts::piecesWithoutRow(curveNumbers(saved.withoutRow)));
    for (const SavedPiece& p : saved.written)
        lines << plantTexts::pieceCellsWritten(p.curveNumber, valueText(p.values[0]),
                                               valueText(p.values[1]), valueText(p.values[2]));
    return lines.join(QLatin1Char('\n'));
}

QString clause(PieceFate fate, const QString& numbers, const QString& reason) {
    switch (fate) {
    case PieceFate::Stored:
        return plantTexts::storedInPlant(numbers);
    case PieceFate::Queued:
        return plantTexts::waitsInQueue(numbers, reason);
    case PieceFate::NotKept:
        return plantTexts::notKept(numbers, reason);
    case PieceFate::Refused:
        return plantTexts::refused(numbers, reason);
    case PieceFate::Declined:
        break;
    }
    return {};
}

// Orders the pieces, fills the lists by outcome and writes the message: the pieces not in
// the plant database, then one line per outcome and cause, each naming its pieces in order.
void summarise(PlantUploadResult& r, const QString& serial) {
    std::stable_sort(
        r.pieces.begin(), r.pieces.end(),
        [](const PieceOutcome& a, const PieceOutcome& b) { return a.curveNumber < b.curveNumber; });
    QList<int> missing;
    for (const PieceOutcome& p : std::as_const(r.pieces)) {
        switch (p.fate) {
        case PieceFate::Stored:
            r.uploaded << p.curveNumber;
            break;
        case PieceFate::Queued:
            r.queued << p.curveNumber;
            missing << p.curveNumber;
            break;
        case PieceFate::Declined:
            r.declined << p.curveNumber;
            break;
        case PieceFate::Refused:
        case PieceFate::NotKept:
            r.failed << p.curveNumber;
            missing << p.curveNumber;
            break;
        }
    }
    QStringList lines;
    if (!missing.isEmpty()) lines << plantTexts::notInPlant(curveNumbers(missing));
    // What went first, then what waits, then what the operator must see to.
    for (PieceFate fate :
         {PieceFate::Stored, PieceFate::Queued, PieceFate::NotKept, PieceFate::Refused}) {
        if (missing.isEmpty()) break;
        QList<bool> told(r.pieces.size(), false);
        for (qsizetype i = 0; i < r.pieces.size(); ++i) {
            const PieceOutcome& first = r.pieces[i];
            if (told[i] || first.fate != fate) continue;
            QList<int> group;
            for (qsizetype j = i; j < r.pieces.size(); ++j)
                if (r.pieces[j].fate == fate && r.pieces[j].reason == first.reason) {
                    group << r.pieces[j].curveNumber;
                    told[j] = true;
                }
            lines << clause(fate, curveNumbers(group), first.reason);
        }
    }
    r.withoutFoil.removeIf([&](int n) { return r.failed.contains(n); });
    if (!r.withoutFoil.isEmpty())
        lines << plantTexts::foilNotWritten(curveNumbers(r.withoutFoil), serial);
    r.message = lines.join(QLatin1Char('\n'));
}

} // namespace

PlantPage::PlantPage(ChannelModel& channels, PanelModel& panel, ChartSet& charts,
                     CurvePlotter& plotter, const SampleStore& samples, SettingsStore& settings,
                     Prompter& prompter, QObject* parent)
    : QObject(parent), m_channels(channels), m_panel(panel), m_charts(charts), m_plotter(plotter),
      m_samples(samples), m_settings(settings), m_prompter(prompter),
      m_source(QString::fromLatin1(PlantSource::DefaultName), waitsFrom(settings)),
      m_uploader(m_source) {
    // The serial box follows channel 1's test number, whichever channel's number changed.
    connect(&m_panel, &PanelModel::textChanged, this, [this](int, Box box, const QString&) {
        if (box == Box::TvTestNumber) setText(FoilBox::Serial, m_panel.text(0, Box::TvTestNumber));
    });
    connect(&m_retrier, &QueueRetrier::progress, this, [this](int done, int total) {
        m_retryProgress = plantTexts::retrying(done, total);
        showQueueStatus();
    });
    connect(&m_retrier, &QueueRetrier::finished, this, &PlantPage::retryFinished);
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

void PlantPage::setSource(const PlantSource& source, const QString& queuePath) {
    m_source = source;
    m_uploader = PlantUploader(source, queuePath, m_uploader.sendLock());
    updatePending();
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
            m_prompter.ask(Question::AddGrade, questionTitle(), plantTexts::addGradeQuestion())) {
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
    drawCurves(opened);
}

void PlantPage::drawCurves(const OpenedFoil& opened) {
    std::array<int, PieceGrid::Rows + 1> riseTime{};
    for (const LoadedPiece& p : opened.pieces)
        riseTime[std::size_t(p.curveNumber)] = p.riseTimeWhole;
    for (const StoredCurve& c : opened.curves) {
        const int k = c.curveNumber - 1;
        const int last = lastDrawnColumn(c.curveNumber, riseTime[std::size_t(c.curveNumber)],
                                         int(c.values.size()));
        if (k < 0 || k >= ChannelCount || last < 0) continue;
        // At the time axis the new-test reset leaves, a curve of minutes would run off the
        // chart after ten seconds; the chart is framed to show it whole.
        m_channels.timeScale[k] = timeScaleFor(last);
        m_charts.frameChannelChart(k);
        m_plotter.drawStoredCurve(k, std::span(c.values.data(), std::size_t(last) + 1));
        emit curveRecalled(k, text(FoilBox::Serial));
    }
}

void PlantPage::saveFoil() {
    const auto saved = FoilRecords(m_source).save(record(), QDate::currentDate());
    tell(saved.ok() ? plantTexts::foilSaved() : saved.status.message);
}

void PlantPage::deleteFoil() {
    if (m_gate && !m_gate(Command::DeleteFoil)) return;
    if (!m_prompter.ask(Question::DeleteFoil, questionTitle(),
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

PlantUploadResult PlantPage::uploadGroup(int firstChannel, int lastChannel) {
    QList<int> channels;
    for (int k = std::max(0, firstChannel); k <= lastChannel && k < ChannelCount; ++k)
        channels << k;
    return uploadChannels(channels);
}

PlantUploadResult PlantPage::uploadChannels(const QList<int>& channels) {
    QList<RunPiece> pieces;
    for (int k : channels)
        if (k >= 0 && k < ChannelCount && description(m_channels.kind(k)).uploadedToPlant)
            pieces << runPiece(k);
    return uploadPieces(pieces);
}

RunPiece PlantPage::runPiece(int k) const {
    using enum Box;
    const int pieceOffset = m_panel.option(Option::AfterBoiling, 0) ? 3 : 0;
    return {k, k + pieceOffset + 1, trimBlanks(m_panel.text(0, TvTestNumber)),
            RunTexts{m_panel.text(k, RiseTime), m_panel.text(k, DelayTime),
                     m_panel.text(k, Readout51), m_panel.text(k, TvValue)}};
}

// What pieces 1 and 1' do to the foil's whole-roll record, read from the plant now; or that
// neither the page nor the plant knows the foil. A plant that cannot be reached now says
// nothing here, and the pieces go straight to the queue instead of waiting for the same
// time-out again.
QString PlantPage::firstQuestionNote(const QList<RunPiece>& pieces, PlantStatus& unreachable) {
    const QString serial = pieces.first().serial;
    const std::optional<FoilRecord> held = heldFoil(serial);
    const bool writesFoil = std::any_of(pieces.begin(), pieces.end(), [&](const RunPiece& rp) {
        return rp.serial == serial && (rp.curveNumber == 1 || rp.curveNumber == 4);
    });
    if (held && !writesFoil) return {};
    PlantConnection c(m_source, PlantLogin::Shared);
    const auto row = readWholeRoll(c, serial);
    if (!row.ok()) {
        if (serverUnusable(row.status.fault)) unreachable = row.status;
        return {};
    }
    QString note;
    if (!held) {
        if (!row.value)
            note = plantTexts::noFoilAnywhere(serial);
        else if (writesFoil)
            note = plantTexts::wholeRollUnchanged(serial);
    } else if (const auto values = heldWholeRoll(*held); values.ok()) {
        // A value that is not valid is told with the piece it refuses.
        const QString changes =
            wholeRollChanges(values.value, row.value).join(QStringLiteral("，"));
        note = changes.isEmpty() ? plantTexts::wholeRollUnchanged(serial)
               : row.value       ? plantTexts::wholeRollWritten(serial, changes)
                                 : plantTexts::wholeRollCreated(serial, changes);
    }
    return note.isEmpty() ? note : QLatin1Char('\n') + note;
}

// The one question for the pieces of a foil: declining it declines each of them.
bool PlantPage::askOnce(const QList<RunPiece>& pieces, const QString& serial, const QString& note) {
    QList<int> numbers;
    int bits = 0;
    for (const RunPiece& rp : pieces)
        if (rp.serial == serial) {
            numbers << rp.curveNumber;
            bits |= pieceBit(rp.curveNumber);
        }
    return m_prompter.ask({Question::UploadPieces, bits}, questionTitle(),
                          plantTexts::uploadPiecesQuestion(curveNumbers(numbers), serial) + note);
}

std::optional<PieceUpload> PlantPage::pieceUpload(const RunPiece& rp,
                                                  const std::optional<FoilRecord>& foil) const {
    auto built = makePieceUpload(rp.serial, rp.curveNumber, foil, m_grid.cells(rp.curveNumber),
                                 rp.run, m_samples, rp.channel, QDate::currentDate());
    if (!built.ok()) return std::nullopt;
    return std::move(built.value);
}

UploadQueue::WithSave PlantPage::outboxWrite(const RunPiece& rp, std::shared_ptr<qint64> id) const {
    const auto piece = pieceUpload(rp, heldFoil(rp.serial));
    if (!piece) return {};
    return m_uploader.queue().withSave(*piece, std::move(id));
}

// The piece's entry in the outbox, holding what the page says of it now (a box corrected
// since the save goes with it); a piece that no save put there gets an entry of its own.
PlantReply<qint64> PlantPage::outboxEntry(const RunPiece& rp,
                                          const std::optional<FoilRecord>& foil) {
    const auto piece = pieceUpload(rp, foil);
    if (!piece)
        return PlantReply<qint64>::failed(PlantStatus::failure(
            PlantFault::BadInput,
            curveLength(rp.curveNumber, rp.run).status.message));
    // Not replaced for a file that cannot be written, the entry still holds the piece as it
    // was saved. One sent or removed from the queue window since is offered as a new entry.
    if (rp.outboxId != 0)
        if (const auto replaced = m_uploader.queue().replacePiece(rp.outboxId, *piece);
            !replaced.ok() || replaced.value)
            return {rp.outboxId, {}};
    return m_uploader.queue().add(*piece, OutboxState::Unasked);
}

PlantUploadResult PlantPage::uploadPieces(const QList<RunPiece>& pieces) {
    PlantUploadResult result;
    // Once the server cannot be reached, the rest of the group waits in the outbox without
    // waiting for the same time-out again.
    PlantStatus unreachable;
    QString note = pieces.isEmpty() ? QString() : firstQuestionNote(pieces, unreachable);
    const bool once = uploadConfirm() == UploadConfirm::Once;
    // Asked once: one answer per foil, normally the only one of the group.
    QHash<QString, bool> answers;
    const UploadQueue& outbox = m_uploader.queue();
    for (const RunPiece& rp : pieces) {
        const int n = rp.curveNumber, k = rp.channel;
        bool yes = false;
        if (!once)
            yes = m_prompter.ask({Question::UploadPiece, n}, questionTitle(),
                                 plantTexts::uploadQuestion(n, rp.serial) + note);
        else if (const auto asked = answers.constFind(rp.serial); asked != answers.cend())
            yes = *asked;
        else
            yes = answers[rp.serial] = askOnce(pieces, rp.serial, note);
        note.clear();
        // Only what the page holds for this piece's own serial.
        const std::optional<FoilRecord> foil = heldFoil(rp.serial);
        const auto entry = outboxEntry(rp, foil);
        if (!entry.ok()) {
            result.pieces << PieceOutcome{n, k, PieceFate::NotKept, entry.status.message};
            continue;
        }
        if (!yes) {
            outbox.setState(entry.value, OutboxState::Declined, {});
            result.pieces << PieceOutcome{n, k, PieceFate::Declined, {}};
            continue;
        }
        if (const auto length = curveLength(n, rp.run); length.ok())
            m_channels.sampleIndex = qint16(length.value);

        UploadOutcome out{unreachable, OutboxState::Waiting};
        if (unreachable.ok())
            out = m_uploader.send(entry.value);
        else if (const PlantStatus noted =
                     outbox.setState(entry.value, OutboxState::Waiting, unreachable.message);
                 !noted.ok())
            out = {PlantStatus::failure(unreachable.fault,
                                        unreachable.message + '\n' + noted.message),
                   std::nullopt};
        if ((n == 1 || n == 4) && !foil && (out.status.ok() || out.queued())) result.withoutFoil << n;
        if (out.status.ok()) {
            result.pieces << PieceOutcome{n, k, PieceFate::Stored, {}};
            if (!once) tell(plantTexts::curveSaved(n, rp.serial));
            continue;
        }
        const PieceFate fate = out.queued() ? PieceFate::Queued
                               : out.left   ? PieceFate::Refused
                                            : PieceFate::NotKept;
        result.pieces << PieceOutcome{n, k, fate, out.status.message};
        if (out.queued() && serverUnusable(out.status.fault)) unreachable = out.status;
    }
    updatePending();
    const QString serial = pieces.isEmpty() ? QString() : pieces.first().serial;
    summarise(result, serial);
    // Asked once, the operator hears once what became of every piece, the stored ones too;
    // the stored ones are named with the others when some did not go.
    QString told = result.message;
    if (once && result.queued.isEmpty() && result.failed.isEmpty() && !result.uploaded.isEmpty())
        told.prepend(plantTexts::curvesSaved(curveNumbers(result.uploaded), serial) +
                     (told.isEmpty() ? QString() : QStringLiteral("\n")));
    if (!told.isEmpty()) tell(told);
    m_lastUpload = result;
    return result;
}

// Entries held for a value of the page (a lab cell, a whole-roll box) take the page's values
// of now when the operator sends them again and the page still shows their foil: a box
// corrected on the page mends the entry.
void PlantPage::refreshFromPage(const std::vector<qint64>& ids) {
    const auto listed = m_uploader.queue().entries();
    if (!listed.ok()) return;
    const QString serial = trimBlanks(text(FoilBox::Serial));
    const std::optional<FoilRecord> foil = heldFoil(serial);
    for (const QueuedUpload& e : listed.value) {
        if (e.state != OutboxState::Held || e.piece.serial != serial ||
            (!ids.empty() && std::ranges::find(ids, e.id) == ids.end()))
            continue;
        PieceUpload piece = e.piece;
        piece.cells = m_grid.cells(piece.curveNumber);
        if (piece.writesFoil() || (foil && (piece.curveNumber == 1 || piece.curveNumber == 4)))
            piece.foil = foil;
        if (piece != e.piece) m_uploader.queue().replacePiece(e.id, piece);
    }
}

bool PlantPage::retryQueue(RetryMode mode, const std::vector<qint64>& only) {
    if (m_retrier.running()) return false;
    updatePending();
    // Nothing the pass would send: no connection, and no queue file made where none was.
    const int sendable = !only.empty()                 ? int(only.size())
                         : mode == RetryMode::Operator ? m_pending.total
                                                       : m_pending.total - m_pending.held;
    if (sendable == 0) {
        m_lastRetry = RetryReport{};
        if (mode == RetryMode::Operator) {
            m_retryOutcome = plantTexts::nothingWaiting();
            showQueueStatus();
        }
        return false;
    }
    if (mode == RetryMode::Operator) refreshFromPage(only);
    const RetryChoice choice{mode == RetryMode::Operator, only};
    if (!m_retrier.start(m_source, m_uploader.queue().path(), choice, m_uploader.sendLock()))
        return false;
    m_retryProgress = plantTexts::retrying(0, sendable);
    showQueueStatus();
    return true;
}

void PlantPage::retryFinished() {
    m_lastRetry = m_retrier.report();
    m_retryProgress.clear();
    updatePending();
    const RetryReport& r = m_lastRetry;
    // A queue file that cannot be read leaves no count worth telling.
    m_retryOutcome = r.status.fault == PlantFault::LocalStore
                         ? r.status.message
                         : plantTexts::retried(int(r.uploaded.size()), r.left - r.held, r.held);
    showQueueStatus();
    emit queueRetried(int(r.uploaded.size()), r.left);
}

bool PlantPage::removeQueued(const std::vector<QueuedUpload>& entries) {
    QStringList pieces;
    for (const QueuedUpload& e : entries)
        pieces << plantTexts::queuedPiece(e.piece.serial, e.piece.curveNumber);
    if (pieces.isEmpty() ||
        !m_prompter.ask(Question::RemoveQueuedUpload, questionTitle(),
                        plantTexts::removeQueuedQuestion(pieces.join(QStringLiteral("、")))))
        return false;
    PlantStatus removed;
    for (const QueuedUpload& e : entries)
        if (removed.ok()) removed = m_uploader.queue().remove(e.id);
    updatePending();
    if (!removed.ok()) tell(removed.message);
    return removed.ok();
}

QString PlantPage::queueStatus() const {
    if (!m_retryProgress.isEmpty()) return m_retryProgress;
    if (!m_retryOutcome.isEmpty()) return m_retryOutcome;
    return m_pending.total > 0 ? plantTexts::pendingUploads(m_pending.total, m_pending.held)
                               : QString();
}

void PlantPage::showQueueStatus() {
    const QString text = queueStatus();
    if (text == m_shownStatus) return;
    m_shownStatus = text;
    emit queueStatusChanged(text);
}

void PlantPage::updatePending() {
    const auto waiting = m_uploader.queue().counts();
    if (!waiting.ok() ||
        (waiting.value.total == m_pending.total && waiting.value.held == m_pending.held))
        return;
    m_pending = waiting.value;
    // The queue changed since the last pass: its outcome is no longer what waits.
    m_retryOutcome.clear();
    emit pendingChanged(m_pending.total);
    showQueueStatus();
}

} // namespace q7rk
