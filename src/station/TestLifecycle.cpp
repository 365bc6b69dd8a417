#include "TestLifecycle.h"

#include <algorithm>

namespace q7rk {

namespace {

void forRange(int first, int last, auto&& f) {
    for (int k = std::max(first, 0); k <= std::min(last, ChannelCount - 1); ++k)
        f(k);
}

TestRecord testIn(TestState state, const QString& recalledNumber) {
    TestRecord t;
    t.state = state;
    t.recalledNumber = recalledNumber;
    return t;
}

} // namespace

void TestLifecycle::set(int k, const TestRecord& test) {
    const TestState before = m_channels[std::size_t(k)].state;
    m_channels[std::size_t(k)] = test;
    if (m_observer && before != test.state) m_observer(k, test.state);
}

void TestLifecycle::clear(int first, int last) {
    forRange(first, last, [this](int k) { set(k, TestRecord{}); });
}

void TestLifecycle::runStarted(int first, int last) {
    // Only the last run's tests are saved: one an earlier run finished in a channel outside
    // this group was given up at the start (its number box may be retyped for this run).
    // The pieces of that run not sent to the plant are given up with it.
    for (int k = 0; k < ChannelCount; ++k) {
        if (state(k) == TestState::Finished) set(k, TestRecord{});
        m_channels[std::size_t(k)].pieceState = PieceState::NotOffered;
    }
    forRange(first, last, [this](int k) { set(k, testIn(TestState::Running, {})); });
}

void TestLifecycle::sampleTaken(int n) {
    for (TestRecord& c : m_channels)
        if (c.state == TestState::Running && !c.judged) c.samplesTaken = n;
}

void TestLifecycle::judged(int k, const StoredTest& measured) {
    TestRecord& c = m_channels[std::size_t(k)];
    if (c.state != TestState::Running) return;
    c.samplesTaken = int(measured.curve.size());
    c.judged = true;
    c.measured = measured;
}

void TestLifecycle::runEnded() {
    for (int k = 0; k < ChannelCount; ++k) {
        TestRecord c = m_channels[std::size_t(k)];
        if (c.state != TestState::Running) continue;
        c.state = c.judged ? TestState::Finished : TestState::Interrupted;
        set(k, c);
    }
}

void TestLifecycle::stored(int k) {
    if (state(k) != TestState::Finished) return;
    TestRecord c = m_channels[std::size_t(k)];
    c.state = TestState::Stored;
    set(k, c);
}

void TestLifecycle::recalled(int k, const QString& testNumber) {
    set(k, testIn(TestState::Recalled, testNumber));
}

void TestLifecycle::recovered(int k, const StoredTest& measured) {
    TestRecord c = testIn(TestState::Finished, {});
    c.samplesTaken = int(measured.curve.size());
    c.judged = true;
    c.measured = measured;
    set(k, c);
}

void TestLifecycle::pieceOffered(int k, const RunPiece& piece, PieceState state) {
    TestRecord& c = m_channels[std::size_t(k)];
    if (c.state != TestState::Stored) return;
    c.piece = piece;
    c.pieceState = state;
}

QList<int> TestLifecycle::unsentPieces() const {
    QList<int> out;
    for (int k = 0; k < ChannelCount; ++k)
        if (state(k) == TestState::Stored &&
            m_channels[std::size_t(k)].pieceState == PieceState::NotSent)
            out << k;
    return out;
}

QList<int> TestLifecycle::unsaved(int first, int last) const {
    QList<int> out;
    forRange(first, last, [&](int k) {
        if (state(k) == TestState::Finished) out << k;
    });
    return out;
}

QList<int> TestLifecycle::inState(TestState s) const {
    QList<int> out;
    for (int k = 0; k < ChannelCount; ++k)
        if (state(k) == s) out << k;
    return out;
}

QString TestLifecycle::name(TestState s) {
    switch (s) {
    case TestState::Idle:
        return QStringLiteral("空闲");
    case TestState::Running:
        return QStringLiteral("测试中");
    case TestState::Finished:
        return QStringLiteral("已完成，未保存");
    case TestState::Stored:
        return QStringLiteral("已保存");
    case TestState::Interrupted:
        return QStringLiteral("测试中断");
    case TestState::Recalled:
        break;
    }
    return QStringLiteral("调出的记录");
}

} // namespace q7rk
