#include "results/MeasuredRecord.h"

#include "kinds/TestKindDescription.h"
#include "results/ResultSchema.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"

#include <algorithm>

namespace q7rk {

StoredTest measuredRecord(const ChannelTest& test, const SampleStore& samples, int k,
                          int samplesTaken) {
    StoredTest t;
    t.kind = test.kind;
    t.values = QStringList(fieldNames(t.kind).size());
    const TestKindDescription& kind = description(t.kind);
    for (const FieldBox& fb : kind.fieldBoxes) {
        if (fb.displayOnly) continue;
        const QString field = QString::fromUtf8(fb.field);
        if (fb.box == kind.verdictBox) {
            t.setValue(field, verdictText(test.failed));
            continue;
        }
        if (fieldType(t.kind, fieldIndex(t.kind, field)) != FieldType::Number) continue;
        const std::optional<double> value = test.value(fb.box);
        t.setValue(field, value ? exactNumberText(*value) : QString());
    }
    const int n = std::clamp(samplesTaken, 0, SampleStore::MaxSample);
    t.curve.reserve(std::size_t(n));
    for (int i = 1; i <= n; ++i)
        t.curve.push_back({samples.voltage(k, i), samples.current(k, i)});
    t.setValue(QStringLiteral("采样次数"), QString::number(n));
    return t;
}

} // namespace q7rk
