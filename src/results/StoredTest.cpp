#include "StoredTest.h"

#include "results/ResultSchema.h"

namespace q7rk {

QString StoredTest::value(const QString& field) const {
    const int i = fieldIndex(kind, field);
    return i < 0 ? QString() : values.value(i);
}

void StoredTest::setValue(const QString& field, const QString& text) {
    const int i = fieldIndex(kind, field);
    if (i < 0) return;
    while (values.size() <= i)
        values << QString();
    values[i] = text;
}

} // namespace q7rk
