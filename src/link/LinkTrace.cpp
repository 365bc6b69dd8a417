#include "LinkTrace.h"

#include "link/Frame.h"

#include <QCoreApplication>
#include <QDateTime>
#include <utility>

namespace q7rk {

namespace {

// Two changed runs this close are written as one: an offset costs about as much.
constexpr int MergeGap = 2;

// What a frame sent is, and for a poll the sample index it carries ("poll", "s=4").
std::pair<QByteArray, QByteArray> kindOf(QByteArrayView bytes) {
    if (bytes.size() <= frame::CodeAt) return {"other", {}};
    switch (FrameCode(quint8(bytes[frame::CodeAt]))) {
    case FrameCode::Handshake:
        return {"handshake", {}};
    case FrameCode::Poll: {
        constexpr int at = frame::blockAt(0) + frame::SampleIndexAt;
        if (bytes.size() < at + 2) return {"poll", {}};
        const int sample = (quint8(bytes[at]) << 8) | quint8(bytes[at + 1]);
        return {"poll", "s=" + QByteArray::number(sample)};
    }
    case FrameCode::Result:
        return {"result", {}};
    default:
        return {"other", {}};
    }
}

} // namespace

std::unique_ptr<LinkTrace> LinkTrace::create(const QString& path, const QString& program,
                                             QString* error) {
    std::unique_ptr<LinkTrace> trace(new LinkTrace(path));
    if (!trace->m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (error) *error = trace->m_file.errorString();
        return nullptr;
    }
    trace->line("# q7rk link trace 1");
    trace->line("# " + program.toUtf8() + ' ' + QCoreApplication::applicationVersion().toUtf8() +
                ", started " + QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8());
    if (!trace->m_stopReason.isEmpty()) {
        if (error) *error = trace->m_stopReason;
        return nullptr;
    }
    return trace;
}

LinkTrace::LinkTrace(const QString& path) : m_file(path) {
    m_clock.start();
}

LinkTrace::~LinkTrace() = default;

void LinkTrace::opened(const QString& what) {
    if (m_copy) m_copy->opened(what);
    line(stamp() + " open " + what.toUtf8());
}

void LinkTrace::closed(const QString& why) {
    if (m_copy) m_copy->closed(why);
    line(stamp() + " close " + why.simplified().toUtf8());
}

void LinkTrace::sent(QByteArrayView bytes, bool written) {
    if (m_copy) m_copy->sent(bytes, written);
    ++m_framesSent;
    const auto [kind, detail] = kindOf(bytes);
    QByteArray text =
        stamp() + (written ? " > " : " >x ") + kind + " #" + QByteArray::number(m_framesSent);
    if (!detail.isEmpty()) text += ' ' + detail;
    line(text + ' ' + encode(bytes, m_lastSent));
}

void LinkTrace::received(QByteArrayView bytes, bool droppedUnread) {
    if (m_copy) m_copy->received(bytes, droppedUnread);
    if (bytes.isEmpty()) return;
    line(stamp() + (droppedUnread ? " <x #" : " < #") + QByteArray::number(m_framesSent) + ' ' +
         encode(bytes, m_lastReceived));
}

void LinkTrace::sampleTaken(int sampleIndex) {
    if (m_copy) m_copy->sampleTaken(sampleIndex);
    line(stamp() + " sample " + QByteArray::number(sampleIndex));
}

void LinkTrace::note(const QString& text) {
    if (m_copy) m_copy->note(text);
    line(stamp() + " note " + text.simplified().toUtf8());
}

QByteArray LinkTrace::stamp() const {
    return QByteArray::number(double(m_clock.nsecsElapsed()) / 1e6, 'f', 3);
}

// Written through at once: a trace is read after the program was killed, too.
void LinkTrace::line(const QByteArray& text) {
    if (!m_stopReason.isEmpty()) return;
    if (m_file.write(text + '\n') != text.size() + 1 || !m_file.flush()) {
        m_stopReason = m_file.errorString();
        m_file.close();
    }
}

QByteArray LinkTrace::encode(QByteArrayView bytes, QByteArray& last) {
    const QByteArray whole = bytes.toByteArray();
    QByteArray out;
    if (whole == last) {
        out = "=";
    } else if (!last.isEmpty() && whole.size() == last.size()) {
        out = "~";
        qsizetype i = 0;
        while (i < whole.size()) {
            if (whole[i] == last[i]) {
                ++i;
                continue;
            }
            qsizetype end = i + 1; // one past the run's last changed byte
            for (qsizetype j = end; j < whole.size() && j < end + MergeGap + 1; ++j)
                if (whole[j] != last[j]) end = j + 1;
            out += ' ' + QByteArray::number(i) + ':' + whole.mid(i, end - i).toHex();
            i = end;
        }
        if (out.size() >= whole.size() * 2) out = whole.toHex();
    } else {
        out = whole.toHex();
    }
    last = whole;
    return out;
}

} // namespace q7rk
