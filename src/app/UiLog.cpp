#include "UiLog.h"

#include <QRegularExpression>

namespace q7rk {

Q_LOGGING_CATEGORY(uiLog, "q7rk.ui", QtWarningMsg)

namespace uilog {

namespace {

const QString Told = QStringLiteral("told: ");
const QString ToldWithoutWaiting = QStringLiteral("told without waiting: ");
const QString Status = QStringLiteral("status ");

} // namespace

void told(const QString& title, const QString& text, bool waits) {
    qCInfo(uiLog).noquote().nospace()
        << (waits ? Told : ToldWithoutWaiting) << title << " - " << text.simplified();
}

void asked(QuestionKey question, const QString& text, bool yes) {
    qCInfo(uiLog).noquote().nospace()
        << "asked " << questionName(question.id) << " - " << text.simplified() << " - answered "
        << (yes ? "yes" : "no");
}

void askedForLine(QuestionKey question, bool answered) {
    qCInfo(uiLog).noquote().nospace() << "asked " << questionName(question.id)
                                      << " for a line: " << (answered ? "answered" : "cancelled");
}

void status(const QString& place, const QString& text) {
    if (!text.isEmpty())
        qCInfo(uiLog).noquote().nospace() << Status << place << ": " << text.simplified();
}

std::optional<Shown> shownOf(const QString& logText) {
    // "told: <title> - <text>": titles hold no " - ".
    for (const QString& prefix : {Told, ToldWithoutWaiting}) {
        if (!logText.startsWith(prefix)) continue;
        const qsizetype dash = logText.indexOf(QLatin1String(" - "), prefix.size());
        return Shown{Shown::Message, dash < 0 ? logText.mid(prefix.size()) : logText.mid(dash + 3)};
    }
    static const QRegularExpression question(
        QStringLiteral("^asked \\S+ - (.*) - answered (yes|no)$"));
    if (const auto m = question.match(logText); m.hasMatch())
        return Shown{Shown::Question, m.captured(1) + QStringLiteral("（回答：%1）")
                                                          .arg(m.captured(2) == QLatin1String("yes")
                                                                   ? QStringLiteral("是")
                                                                   : QStringLiteral("否"))};
    static const QRegularExpression line(
        QStringLiteral("^asked (\\S+) for a line: (answered|cancelled)$"));
    if (const auto m = line.match(logText); m.hasMatch())
        return Shown{Shown::Question,
                     QStringLiteral("输入框 %1（%2）")
                         .arg(m.captured(1), m.captured(2) == QLatin1String("answered")
                                                 ? QStringLiteral("已输入")
                                                 : QStringLiteral("已取消"))};
    if (logText.startsWith(Status)) {
        const qsizetype colon = logText.indexOf(QLatin1String(": "), Status.size());
        if (colon > 0) return Shown{Shown::Status, logText.mid(colon + 2)};
    }
    return std::nullopt;
}

QString kindName(Shown::Kind kind) {
    switch (kind) {
    case Shown::Message:
        return QStringLiteral("消息");
    case Shown::Question:
        return QStringLiteral("提问");
    case Shown::Status:
        return QStringLiteral("状态");
    }
    return {};
}

} // namespace uilog

} // namespace q7rk
