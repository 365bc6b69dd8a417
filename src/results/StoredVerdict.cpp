#include "StoredVerdict.h"

#include "results/ResultSchema.h"
#include "settings/NumberText.h"

namespace q7rk {

std::optional<Rejudgement> rejudge(TestKind kind, const QStringList& values, const QString& field,
                                   const QString& value, SparkVoltageRule rule) {
    const TestKindDescription& d = description(kind);
    if (!utf8List(d.rejudgedFields).contains(field) || !parseNumber(value)) return std::nullopt;
    // A field the record leaves blank counts as 0, as a blank box does at the end of a run.
    const auto number = [&](Box box) {
        const QString name = storedField(kind, box);
        const QString text = name == field ? value : values.value(fieldIndex(kind, name));
        return parseNumber(text).value_or(0.0);
    };
    Rejudgement out;
    out.verdictField = storedField(kind, d.verdictBox);
    out.before = values.value(fieldIndex(kind, out.verdictField));
    out.after = verdictText(verdictFails(kind, number, rule));
    return out;
}

} // namespace q7rk
