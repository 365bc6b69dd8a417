#include "PlantInput.h"

#include "plant/PlantConnection.h"
#include "plant/PlantTexts.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

namespace {

PlantStatus badInput(const QString& message) {
    return PlantStatus::failure(PlantFault::BadInput, message);
}

// An empty box is Null; anything else must be a number.
std::optional<QVariant> optionalNumber(const QString& text) {
    const QString t = trimBlanks(text);
    if (t.isEmpty()) return nullNumber();
    if (auto v = parseNumber(t)) return QVariant(*v);
    return std::nullopt;
}

} // namespace

QString trimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString upperCaseTyped(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 32);
    return out;
}

PlantReply<FoilValues> foilValues(const FoilRecord& foil) {
    using Reply = PlantReply<FoilValues>;
    FoilValues v;
    v.serial = trimBlanks(foil.serial);
    v.grade = trimBlanks(foil.grade);
    v.iqNumber = trimBlanks(foil.iqNumber);
    v.productionLine = trimBlanks(foil.productionLine);
    const auto vf = parseNumber(trimBlanks(foil.vf));
    if (!vf) return Reply::failed(badInput(plantTexts::needsNumber(QStringLiteral("VF值"))));
    v.vf = *vf;
    const std::pair<const QString*, QVariant*> optional[] = {
        {&foil.length, &v.length}, {&foil.area, &v.area}, {&foil.weight, &v.weight}};
    const char* labels[] = {"长度", "面积", "重量"};
    for (int i = 0; i < 3; ++i) {
        const auto value = optionalNumber(*optional[i].first);
        if (!value)
            return Reply::failed(badInput(plantTexts::numberOrEmpty(QString::fromUtf8(labels[i]))));
        *optional[i].second = *value;
    }
    const auto joints = parseNumber(trimBlanks(foil.joints));
    if (!joints) return Reply::failed(badInput(plantTexts::needsNumber(QStringLiteral("接头数"))));
    v.joints = *joints;
    return {v, {}};
}

PlantReply<std::array<QVariant, 3>> pieceCellValues(int curveNumber, const PieceCells& cells) {
    using Reply = PlantReply<std::array<QVariant, 3>>;
    const QString* texts[] = {&cells.specificCapacitance, &cells.bend, &cells.pull};
    const char* labels[] = {"比容", "折弯", "抗拉"};
    std::array<QVariant, 3> values;
    for (int i = 0; i < 3; ++i) {
        const auto value = optionalNumber(*texts[i]);
        if (!value)
            return Reply::failed(badInput(
                plantTexts::pieceNumberOrEmpty(curveNumber, QString::fromUtf8(labels[i]))));
        values[std::size_t(i)] = *value;
    }
    return {values, {}};
}

PlantReply<int> curveLength(int curveNumber, const RunValues& run) {
    const auto rise = run.riseTime;
    if (!rise)
        return PlantReply<int>::failed(
            badInput(plantTexts::pieceNeedsNumber(curveNumber, QStringLiteral("升压时间"))));
    const auto delay = run.delayTime;
    if (!delay)
        return PlantReply<int>::failed(
            badInput(plantTexts::pieceNeedsNumber(curveNumber, QStringLiteral("延迟时间"))));
    // nearbyint rounds halves to even in the default rounding mode.
    const double n = std::nearbyint(*rise) + std::nearbyint(*delay);
    if (n < 0 || n > SampleStore::MaxSample)
        return PlantReply<int>::failed(badInput(
            plantTexts::curveLengthOutOfRange(curveNumber, int(std::clamp(n, -1e9, 1e9)))));
    return {int(n), {}};
}

void takeRunValues(PieceUpload& piece, const RunValues& run) {
    const auto text = [](const std::optional<double>& v) {
        return v ? formatNumber(*v) : QString();
    };
    piece.riseTime = text(run.riseTime);
    piece.maxVoltage = text(run.maxVoltage);
    piece.tvValue = text(run.tvValue);
}

std::optional<int> pieceNumberFromLabel(const QString& label) {
    QString text = trimBlanks(label);
    const bool afterBoiling = text.endsWith(QLatin1Char('\'')) || text.endsWith(QChar(0x2019));
    if (afterBoiling) text.chop(1);
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1 || n > (afterBoiling ? 3 : 6)) return std::nullopt;
    return afterBoiling ? n + 3 : n;
}

std::vector<float> curveColumns(const std::vector<float>& volts, int n) {
    n = std::clamp(n, 1, SampleStore::MaxSample);
    std::vector<float> columns(std::size_t(n), 0.0f);
    for (std::size_t k = 1; k < columns.size() && k < volts.size(); ++k)
        columns[k] = volts[k];
    return columns;
}

namespace {

struct FoilField {
    const char* column;
    const char* label;
    QString FoilRecord::*box;
    bool number;
};
constexpr FoilField FoilFields[] = {
    {"Speci", "规格", &FoilRecord::grade, false},
    {"VF", "VF值", &FoilRecord::vf, true},
    {"Length", "长度", &FoilRecord::length, true},
    {"Area", "面积", &FoilRecord::area, true},
    {"Weight", "重量", &FoilRecord::weight, true},
    {"IQNum", "IQ编号", &FoilRecord::iqNumber, false},
    {"PLNum", "线别", &FoilRecord::productionLine, false},
    {"NodeNum", "接头数", &FoilRecord::joints, true},
};

} // namespace

PlantReply<std::vector<WholeRollValue>> heldWholeRoll(const FoilRecord& held) {
    using Reply = PlantReply<std::vector<WholeRollValue>>;
    std::vector<WholeRollValue> values;
    for (const FoilField& f : FoilFields) {
        const QString text = trimBlanks(held.*f.box);
        if (text.isEmpty()) continue;
        QVariant value = text;
        if (f.number) {
            const auto v = parseNumber(text);
            if (!v)
                return Reply::failed(
                    badInput(plantTexts::numberOrEmpty(QString::fromUtf8(f.label))));
            value = *v;
        }
        values.push_back({f.column, QString::fromUtf8(f.label), text, value});
    }
    return {std::move(values), {}};
}

QStringList wholeRollChanges(const std::vector<WholeRollValue>& held,
                             const std::optional<FoilRecord>& plant) {
    QStringList changes;
    for (const WholeRollValue& v : held) {
        if (!plant) {
            changes << v.label + QLatin1Char(' ') + v.text;
            continue;
        }
        const auto field =
            std::find_if(std::begin(FoilFields), std::end(FoilFields),
                         [&](const FoilField& f) { return qstrcmp(f.column, v.column) == 0; });
        const QString stored = trimBlanks((*plant).*(field->box));
        // 1.50 from the page is the 1.5 the plant holds.
        const bool same = field->number ? parseNumber(stored) == std::optional(v.value.toDouble())
                                        : stored == v.text;
        if (!same) changes << plantTexts::changedValue(v.label, stored, v.text);
    }
    return changes;
}

PlantReply<PieceUpload> makePieceUpload(const RunPiece& piece,
                                        const std::optional<FoilRecord>& foil,
                                        const PieceCells& cells, QDate date) {
    const PlantReply<int> n = curveLength(piece.curveNumber, piece.run);
    if (!n.ok()) return PlantReply<PieceUpload>::failed(n.status);
    PieceUpload up;
    up.serial = trimBlanks(piece.serial);
    up.curveNumber = piece.curveNumber;
    up.foil = foil;
    up.cells = cells;
    takeRunValues(up, piece.run);
    up.date = date;
    up.curve = curveColumns(piece.volts, n.value);
    return {std::move(up), {}};
}

} // namespace q7rk
