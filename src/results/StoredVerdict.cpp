#include "StoredVerdict.h"

#include "results/ResultSchema.h"
#include "settings/NumberText.h"

namespace q7rk {

namespace {

// The stored field a box is written to (not one that only shows it).
QString fieldOfBox(const TestKindDescription& d, Box box) {
    for (const FieldBox& fb : d.fieldBoxes)
        if (fb.box == box && !fb.displayOnly) return QString::fromUtf8(fb.field);
    return {};
}

} // namespace

std::optional<Rejudgement> rejudge(TestKind kind, const QStringList& values, const QString& field,
                                   const QString& value, SparkVoltageRule rule) {
    const TestKindDescription& d = description(kind);
    if (!utf8List(d.rejudgedFields).contains(field) || !parseNumber(value)) return std::nullopt;
    // A field the record leaves blank counts as 0, as a blank box does at the end of a run.
    const auto number = [&](Box box) {
        const QString name = fieldOfBox(d, box);
        const QString text = name == field ? value : values.value(fieldIndex(kind, name));
        return parseNumber(text).value_or(0.0);
    };
    Rejudgement out;
    out.verdictField = fieldOfBox(d, d.verdictBox);
    out.before = values.value(fieldIndex(kind, out.verdictField));
    out.after = verdictText(verdictFails(kind, number, rule));
    return out;
}

} // namespace q7rk
