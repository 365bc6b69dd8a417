#include "DemoTrend.h"

#include "results/ResultSchema.h"

#include <QDate>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace q7rk {

namespace {

// Normally distributed noise (Box–Muller) from a fixed seed: the same demo every time.
class Noise {
public:
    double operator()(double sigma) {
        const double u1 = 1.0 - m_random.generateDouble(), u2 = m_random.generateDouble();
        return sigma * std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
    }
    int below(int n) { return int(m_random.bounded(n)); }

private:
    QRandomGenerator m_random{20240601};
};

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

StoredTest tvTest(const QString& number, const QDate& date, double drift, int sequence,
                  Noise& noise) {
    static const QStringList operators{QStringLiteral("张三"), QStringLiteral("李四"),
                                       QStringLiteral("王五")};
    static const QStringList positions{QStringLiteral("HL"), QStringLiteral("HM"),
                                       QStringLiteral("HR"), QStringLiteral("TL"),
                                       QStringLiteral("TM"), QStringLiteral("TR")};
    // Over the month the foil needs longer to form and holds a little less voltage: still
    // inside tolerance, but no longer where the line used to be.
    const double riseTime = 114 + 18 * drift + noise(3.0);
    const double tv = 211 - 6 * drift + noise(1.2);
    const bool head = positions[sequence % positions.size()].startsWith(QLatin1Char('H'));
    StoredTest t;
    t.kind = TestKind::Tv;
    t.values = QStringList(fieldNames(TestKind::Tv).size());
    const auto set = [&t](const char* field, const QString& text) {
        t.setValue(QString::fromUtf8(field), text);
    };
    set("测试编号", number + positions[sequence % positions.size()]);
    set("化成电压", QStringLiteral("200"));
    set("测试电流", QStringLiteral("2"));
    set("延迟时间", QStringLiteral("180"));
    set("升压时间指标", QStringLiteral("150"));
    set("升压时间", fixed(riseTime, 1));
    set("TV值", fixed(tv, 1));
    set("TV特性", tv >= 200 && riseTime <= 150 ? QStringLiteral("合格") : QStringLiteral("不合格"));
    set("水温度", fixed(90 + noise(0.8), 1));
    set("采样次数", QString::number(int(std::lround(riseTime)) + 20));
    set("Vmax", fixed(tv + 2.5, 1));
    set("水煮前", sequence % 2 ? QStringLiteral("False") : QStringLiteral("True"));
    set("水煮后", sequence % 2 ? QStringLiteral("True") : QStringLiteral("False"));
    set("头位置", head ? QStringLiteral("True") : QStringLiteral("False"));
    set("尾位置", head ? QStringLiteral("False") : QStringLiteral("True"));
    set("测试人", operators[noise.below(int(operators.size()))]);
    set("测试日期", date.toString(QStringLiteral("yyyy/MM/dd")));
    // A rise towards the TV value over the samples, as a run draws it.
    const int samples = int(std::lround(riseTime)) + 20;
    for (int i = 1; i <= samples; ++i)
        t.curve.push_back({std::round(10 * tv * (1 - std::exp(-3.0 * i / riseTime))) / 10, 2.0});
    return t;
}

} // namespace

int runDemoTrend(ResultStore& store, int days) {
    if (days < 2 || days > 3650) {
        std::fprintf(stderr, "q7rk-results: --days 应为 2 到 3650 之间的整数\n");
        return 2;
    }
    Noise noise;
    const QDate today = QDate::currentDate();
    int written = 0, kept = 0;
    for (int day = 0; day < days; ++day) {
        const QDate date = today.addDays(day - days + 1);
        // Steady for the first third, then creeping away: the chart shows where it began.
        const double drift = std::max(0.0, (day - days / 3.0) / (days - 1 - days / 3.0));
        const int tests = 3 + noise.below(3);
        for (int n = 1; n <= tests; ++n) {
            const QString number =
                QStringLiteral("D%1-%2").arg(date.toString(QStringLiteral("yyMMdd"))).arg(n);
            StoredTest test = tvTest(number, date, drift, day + n, noise);
            if (store.checkTestTable(TestKind::Tv, test.key())) {
                ++kept;
                continue;
            }
            const SaveOutcome outcome = store.save(test);
            if (!outcome.ok) {
                std::fprintf(stderr, "q7rk-results: %s\n", qPrintable(outcome.message));
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d 个TV测试已写入 %s（已有的 %d 个未动）\n", written,
                qPrintable(store.locateDbFile(TestKind::Tv)), kept);
    return 0;
}

} // namespace q7rk
