// Saves 6000-sample TV tests into DIR one after the other until it is killed: "C1HL",
// "C2HL", ... It prints "SAVED n" after each save, so a test can kill it mid-save.
#include "results/ResultSchema.h"
#include "results/ResultStore.h"

#include <QCoreApplication>
#include <cstdio>

using namespace q7rk;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) return 2;
    ResultStore store(QString::fromLocal8Bit(argv[1]));
    StoredTest t;
    t.kind = TestKind::Tv;
    t.values = QStringList(fieldNames(TestKind::Tv).size());
    t.setValue(QStringLiteral("化成电压"), QStringLiteral("200"));
    t.setValue(QStringLiteral("测试人"), QStringLiteral("crash"));
    for (int n = 1; n <= 6000; ++n)
        t.curve.push_back({n * 0.1, n * 0.001});
    for (int i = 1;; ++i) {
        t.setValue(QStringLiteral("测试编号"), QStringLiteral("C%1HL").arg(i));
        if (!store.save(t).ok) return 1;
        std::printf("SAVED %d\n", i);
        std::fflush(stdout);
    }
}
