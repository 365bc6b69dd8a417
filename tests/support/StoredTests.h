#pragma once

#include "results/ResultSchema.h"
#include "results/StoredTest.h"

#include <QList>
#include <QPair>

namespace q7rk::testing {

// A stored test of `kind` with the named fields filled and a short curve, as a test writes it
// into a result file.
inline StoredTest storedTest(TestKind kind, const QList<QPair<const char*, QString>>& values) {
    StoredTest t;
    t.kind = kind;
    t.values = QStringList(fieldNames(kind).size());
    for (const auto& [field, text] : values)
        t.setValue(QString::fromUtf8(field), text);
    t.curve = {{10, 0.1}, {20, 0.2}};
    return t;
}

} // namespace q7rk::testing
