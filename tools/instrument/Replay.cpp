#include "Replay.h"

#include "FrameCodec.h"

#include <QFile>

#include <algorithm>

namespace q7rk::instrument {

namespace {

constexpr quint8 kPollReply = Poll | kReplyBit;

bool isPollReply(const QByteArray& bytes) {
    return bytes.size() == kFrameSize && bytes.startsWith(frameHeader()) &&
           frameCode(bytes) == kPollReply && hasTrailer(bytes);
}

QByteArray joined(const QList<ReplyPiece>& pieces) {
    QByteArray all;
    for (const ReplyPiece& p : pieces)
        all += p.bytes;
    return all;
}

// The last whole poll reply in what came back; empty when there is none.
QByteArray lastPollReply(const QByteArray& bytes) {
    for (qsizetype at = bytes.lastIndexOf(frameHeader()); at >= 0;
         at = at > 0 ? bytes.lastIndexOf(frameHeader(), at - 1) : -1)
        if (const QByteArray frame = bytes.mid(at, kFrameSize); isPollReply(frame)) return frame;
    return {};
}

bool isHex(const QByteArray& text) {
    return std::ranges::all_of(text, [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

// "=", "~ OFF:HEX ..." against the last bytes in the same direction, or plain hex.
std::optional<QByteArray> decodeBytes(const QList<QByteArray>& words, const QByteArray& last) {
    if (words.isEmpty()) return std::nullopt;
    if (words.first() == "=") return last;
    if (words.first() == "~") {
        QByteArray bytes = last;
        for (qsizetype i = 1; i < words.size(); ++i) {
            const qsizetype colon = words[i].indexOf(':');
            bool ok = false;
            const qsizetype offset = words[i].left(colon).toLongLong(&ok);
            const QByteArray hex = words[i].mid(colon + 1);
            const QByteArray changed = QByteArray::fromHex(hex);
            if (colon < 0 || !ok || offset < 0 || hex.isEmpty() || hex.size() % 2 != 0 ||
                !isHex(hex) || offset + changed.size() > bytes.size())
                return std::nullopt;
            bytes.replace(offset, changed.size(), changed);
        }
        return bytes;
    }
    if (words.size() != 1 || words.first().size() % 2 != 0 || !isHex(words.first()))
        return std::nullopt;
    return QByteArray::fromHex(words.first());
}

// The same cuts as the recorded reply, over other bytes of the same length.
QList<ReplyPiece> reshaped(const QList<ReplyPiece>& pieces, const QByteArray& bytes) {
    QList<ReplyPiece> out;
    qsizetype from = 0;
    for (const ReplyPiece& p : pieces) {
        out.append({p.delayMs, bytes.mid(from, p.bytes.size())});
        from += p.bytes.size();
    }
    return out;
}

} // namespace

bool Exchange::answered() const {
    return isPollReply(joined(pieces));
}

std::optional<LinkRecording> LinkRecording::read(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = path + ": " + file.errorString();
        return std::nullopt;
    }
    LinkRecording r;
    QByteArray lastSent, lastReceived, lastGood;
    std::map<int, std::pair<Exchange*, double>> sent; // frame number: exchange, time
    int lastPollSample = -1;
    bool newRun = true;
    const auto bad = [&](const QString& why) {
        *error = QString("%1:%2: %3").arg(path).arg(r.lines).arg(why);
        return std::nullopt;
    };
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++r.lines;
        if (r.lines == 1 && !line.startsWith("# q7rk link trace 1"))
            return bad("not a link trace (it must begin with \"# q7rk link trace 1\")");
        if (line.isEmpty() || line.startsWith('#')) continue;
        QList<QByteArray> words = line.split(' ');
        bool ok = false;
        const double ms = words.value(0).toDouble(&ok);
        if (!ok || words.size() < 2) return bad("no time and event");
        const QByteArray what = words[1];
        if (what == ">" || what == ">x") {
            // > KIND #N [s=K] BYTES
            if (words.size() < 5 || !words[3].startsWith('#'))
                return bad("a frame sent reads badly");
            const int number = words[3].mid(1).toInt(&ok);
            int sample = -1;
            qsizetype bytesAt = 4;
            if (words[4].startsWith("s=")) {
                sample = words[4].mid(2).toInt();
                bytesAt = 5;
            }
            const auto bytes = decodeBytes(words.mid(bytesAt), lastSent);
            if (!ok || !bytes) return bad("a frame sent reads badly");
            lastSent = *bytes;
            if (what == ">x") continue; // never reached the instrument
            Exchange* exchange = nullptr;
            if (words[2] == "handshake") {
                exchange = &r.handshakes.emplace_back();
            } else if (words[2] == "poll") {
                if (sample < 0 && bytes->size() >= kFrameSize)
                    sample = pollBlock(*bytes, 0).sampleIndex;
                if (newRun || r.runs.empty() || sample < lastPollSample) r.runs.emplace_back();
                newRun = false;
                lastPollSample = sample;
                exchange = &r.runs.back().polls[sample].emplace_back();
                ++r.polls;
            }
            if (exchange) sent[number] = {exchange, ms};
        } else if (what == "<" || what == "<x") {
            // < #N BYTES: after frame N went out
            if (words.size() < 4 || !words[2].startsWith('#'))
                return bad("bytes received read badly");
            const int number = words[2].mid(1).toInt(&ok);
            const auto bytes = decodeBytes(words.mid(3), lastReceived);
            if (!ok || !bytes) return bad("bytes received read badly");
            lastReceived = *bytes;
            // Dropped unread: they came too late to be an answer, and are left out.
            const auto to = sent.find(number);
            if (what == "<x" || to == sent.end()) continue;
            Exchange& exchange = *to->second.first;
            exchange.pieces.append({ms - to->second.second, *bytes});
            if (const QByteArray reply = lastPollReply(joined(exchange.pieces)); !reply.isEmpty())
                lastGood = reply;
        } else if (what == "sample") {
            const int sample = words.value(2).toInt(&ok);
            if (!ok) return bad("a sample without its index");
            if (!r.runs.empty() && !lastGood.isEmpty()) r.runs.back().sampled[sample] = lastGood;
        } else if (what == "note" && line.contains(" note run started")) {
            newRun = true;
        }
        // open, close and other notes say nothing the replay needs.
    }
    if (r.runs.empty() && r.handshakes.empty()) return bad("no handshake and no poll");
    return r;
}

QList<ReplyPiece> ReplayResponder::answer(const QByteArray& frame) {
    switch (frameCode(frame)) {
    case Handshake:
        if (recording_.handshakes.empty()) return {{0, makeReply(frame)}};
        return recording_
            .handshakes[std::min<size_t>(handshakes_++, recording_.handshakes.size() - 1)]
            .pieces;
    case Poll:
        return answerPoll(pollBlock(frame, 0).sampleIndex);
    default:
        return {}; // the end of a run is not answered
    }
}

QList<ReplyPiece> ReplayResponder::answerPoll(int sampleIndex) {
    if (recording_.runs.empty()) return {};
    if (run_ < 0 || sampleIndex < lastSample_) {
        run_ = std::min<int>(run_ + 1, int(recording_.runs.size()) - 1);
        left_ = recording_.runs[size_t(run_)];
        owed_.clear();
    } else {
        passSamplesBefore(sampleIndex);
    }
    const bool firstOfSample = lastSample_ != sampleIndex;
    lastSample_ = sampleIndex;
    const RecordedRun& run = recording_.runs[size_t(run_)];
    // The reply the recorded sample was taken from: every answer of the sample repeats it,
    // so the sample is the same whichever poll the replayed run takes it from.
    QByteArray sampled;
    if (auto at = run.sampled.upper_bound(sampleIndex); at != run.sampled.begin())
        sampled = std::prev(at)->second;
    std::deque<Exchange>& queue = left_.polls[sampleIndex];
    // The first poll of a sample gets its answer first, the faults follow: a replayed run
    // that polls a second fewer times still takes the sample from that answer.
    if (firstOfSample && !sampled.isEmpty())
        if (const auto answered = std::ranges::find_if(queue, &Exchange::answered);
            answered != queue.end()) {
            const Exchange first = *answered;
            queue.erase(answered);
            return reshaped(first.pieces, sampled);
        }
    if (!owed_.empty()) {
        const Exchange fault = owed_.front();
        owed_.pop_front();
        return fault.pieces;
    }
    if (!queue.empty()) {
        const Exchange next = queue.front();
        queue.pop_front();
        if (!next.answered() || sampled.isEmpty()) return next.pieces;
        return reshaped(next.pieces, sampled);
    }
    // More polls than the recorded sample had: answered as its answered ones were.
    double delayMs = 0;
    if (const auto polls = run.polls.find(sampleIndex); polls != run.polls.end())
        for (const Exchange& e : polls->second)
            if (e.answered()) {
                delayMs = e.pieces.first().delayMs;
                if (sampled.isEmpty()) sampled = joined(e.pieces);
            }
    if (sampled.isEmpty()) return {};
    return {{delayMs, sampled}};
}

// The program went on to a later sample: what the passed samples still held of faults is owed
// to its next polls, their answers are dropped.
void ReplayResponder::passSamplesBefore(int sampleIndex) {
    for (auto it = left_.polls.begin(); it != left_.polls.end() && it->first < sampleIndex;
         it = left_.polls.erase(it))
        for (const Exchange& e : it->second)
            if (!e.answered()) owed_.push_back(e);
}

} // namespace q7rk::instrument
