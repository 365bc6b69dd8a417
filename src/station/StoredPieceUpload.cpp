#include "StoredPieceUpload.h"

#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "results/ResultStore.h"
#include "settings/NumberText.h"

namespace q7rk {

RunValues runValuesOf(const StoredTest& test) {
    const auto number = [&test](const char* field) {
        return parseNumber(test.value(QString::fromUtf8(field)));
    };
    return {number("升压时间"), number("延迟时间"), number("Vmax"), number("TV值")};
}

PlantReply<PieceUpload> storedPiece(const StoredTest& test, const PieceAddress& to) {
    const RunValues run = runValuesOf(test);
    const auto length = curveLength(to.piece, run);
    if (!length.ok()) return PlantReply<PieceUpload>::failed(length.status);
    PieceUpload piece;
    piece.serial = trimBlanks(to.serial);
    piece.curveNumber = to.piece;
    piece.keepPlantCells = true;
    takeRunValues(piece, run);
    piece.date = QDate::currentDate();
    // Column 0 is 0; column k is sample k + 1, as a run's upload writes it.
    piece.curve.assign(std::size_t(std::max(1, length.value)), 0.0f);
    for (std::size_t k = 1; k < piece.curve.size() && k < test.curve.size(); ++k)
        piece.curve[k] = float(test.curve[k].volts);
    return {std::move(piece), {}};
}

PieceAddress proposedAddress(const UploadQueue& outbox, const StoredTest& test) {
    const TestKey key = test.key();
    PieceAddress address{key.number, key.afterBoiling ? 4 : 1};
    if (const auto last = outbox.lastAddress(key); last.ok() && last.value)
        address = {last.value->first, last.value->second};
    return address;
}

PlantReply<qint64> putStoredTestInOutbox(const ResultStore& store, const UploadQueue& outbox,
                                         const TestKey& key, const PieceAddress& to) {
    using Reply = PlantReply<qint64>;
    const auto refused = [](const QString& why) {
        return Reply::failed(PlantStatus::failure(PlantFault::BadInput, why));
    };
    const auto test = store.load(TestKind::Tv, key);
    if (!test) return refused(plantTexts::noStoredTest(shownKey(key)));
    if (to.piece < 1 || to.piece > 6) return refused(plantTexts::badCurveNumber(to.piece));
    const auto piece = storedPiece(*test, to);
    if (!piece.ok()) return Reply::failed(piece.status);
    if (piece.value.serial.isEmpty()) return refused(plantTexts::noSerial());
    return outbox.add(piece.value, OutboxState::Unasked, {},
                      OutboxOrigin{key, QDateTime::currentDateTime()});
}

QHash<QString, QString> deliveryTexts(const UploadQueue& outbox) {
    QHash<QString, QString> texts;
    const auto listed = outbox.deliveries();
    for (const auto& [key, d] : listed.value) {
        // "已上传 2026-12-07 19:42（卷号 E1 第3片）"
        QString text = d.sent ? QStringLiteral("已上传 %1（卷号 %2 第%3片）")
                                    .arg(d.sent->toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                         d.sentSerial, plantTexts::pieceLabel(d.sentPiece))
                              : QString();
        if (d.waiting) {
            const QString waiting = outboxStateText(*d.waiting);
            text = text.isEmpty() ? waiting : text + QStringLiteral("；新的一次") + waiting;
        }
        texts.insert(shownKey(key), text);
    }
    return texts;
}

} // namespace q7rk
