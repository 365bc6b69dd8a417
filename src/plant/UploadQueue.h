#pragma once

#include "kinds/TestKindDescription.h"
#include "plant/PlantData.h"
#include "plant/PlantStatus.h"

#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlDatabase;
class QSqlError;

namespace q7rk {

// Where an entry of the outbox stands. Every entry waits until it is stored in the plant
// database or the operator removes it; only `Waiting` entries go with the automatic passes.
enum class OutboxState {
    Unasked,    // stored locally, the operator not asked yet (or the program went meanwhile)
    Declined,   // the operator answered No to sending it
    Waiting,    // the plant database could not take it; a retry sends it
    Held,       // refused for a reason a retry cannot mend: only the operator sends it again
    Superseded, // a newer test of the same serial and piece came after it: never sent
};

// The stored test an entry came from.
struct OutboxOrigin {
    TestKey key;     // its number and boiling state in the TV result file
    QDateTime saved; // when the local save committed
};

struct QueuedUpload {
    qint64 id = 0; // order of arrival: a higher id is a newer test
    PieceUpload piece;
    QString reason;   // why it is not in the plant database, the last time it was tried
    QDateTime queued; // when it came into the outbox (invalid for entries of older files)
    QDateTime tried;  // the last attempt
    OutboxState state = OutboxState::Waiting;
    std::optional<OutboxOrigin> origin; // none for pieces not sent from a stored test

    bool held() const { return state != OutboxState::Waiting; }
};

struct QueueCounts {
    int total = 0; // entries that may still be sent (superseded ones not counted)
    int held = 0;  // of those, the ones only the operator sends
};

// What the plant has of a stored test's piece.
struct PieceDelivery {
    std::optional<QDateTime> sent; // when it was stored in the plant database
    QString sentSerial;            // under which serial and piece
    int sentPiece = 0;
    std::optional<OutboxState> waiting; // an entry of it still in the outbox
};

// The plant outbox: every TV piece that is to reach the plant database, kept in a local
// SQLite file beside the result files from the moment its test is stored (written in the
// same transaction as the test) until the plant holds it. Entries leave only by being sent
// (they are then listed among the sent pieces, which say when) or by the operator removing
// them. A newer entry of the same serial and piece supersedes the older ones: sending the
// older one would overwrite newer values.
class UploadQueue {
public:
    static constexpr const char* FileName = "plant-queue.db";

    explicit UploadQueue(QString path);

    const QString& path() const { return m_path; }

    // The write that puts `piece` into the outbox (Unasked, with the test's key) inside the
    // save of its test; the new entry's id lands in `id`.
    struct WithSave {
        QString path;
        std::function<QSqlError(QSqlDatabase&, const QString& schema, const TestKey& key)> write;
    };
    WithSave withSave(const PieceUpload& piece, std::shared_ptr<qint64> id) const;

    // A piece in the given state, from the stored test `origin` when it came from one.
    PlantReply<qint64> add(const PieceUpload& piece, OutboxState state, const QString& reason = {},
                           const std::optional<OutboxOrigin>& origin = std::nullopt) const;
    PlantReply<int> count() const;
    PlantReply<QueueCounts> counts() const;
    // Oldest first; superseded entries too.
    PlantReply<std::vector<QueuedUpload>> entries() const;
    // The entry as it stands now; nullopt once it has gone (sent or removed).
    PlantReply<std::optional<QueuedUpload>> entry(qint64 id) const;
    // Whether a newer entry of the same serial and piece exists, waiting or sent.
    PlantReply<bool> superseded(const QueuedUpload& entry) const;
    // A failed attempt (the new state, its reason and time) or the operator's No (the state
    // alone tells why; the last attempt's time stays).
    PlantStatus setState(qint64 id, OutboxState state, const QString& reason) const;
    // The entry reached the plant: it leaves the outbox for the list of sent pieces.
    PlantStatus markSent(qint64 id) const;
    PlantStatus remove(qint64 id) const;
    // The same entry with other page values (its test stays the same); false when the entry
    // has gone meanwhile (sent or removed).
    PlantReply<bool> replacePiece(qint64 id, const PieceUpload& piece) const;

    // The serial and piece under which the stored test `key` last went into the outbox, sent
    // since or not; nullopt when it never did.
    PlantReply<std::optional<std::pair<QString, int>>> lastAddress(const TestKey& key) const;

    // What became of the pieces of stored tests, by key: the newest entry of each.
    PlantReply<std::vector<std::pair<TestKey, PieceDelivery>>> deliveries() const;

    // Sends to the plant are one at a time across the programs on this folder (the window,
    // the runner, the set-up tool): a file lock beside the outbox.
    QString sendLockPath() const { return m_path + QStringLiteral(".send.lock"); }

private:
    PlantStatus failure() const;

    QString m_path;
};

// "未上传（操作员选择）", ...
QString outboxStateText(OutboxState state);

} // namespace q7rk
