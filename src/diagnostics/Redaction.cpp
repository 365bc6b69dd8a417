#include "Redaction.h"

#include <QRegularExpression>

namespace q7rk::redaction {

bool isSecretKey(const QString& key) {
    static const QRegularExpression secret(QStringLiteral("password|passwd|pwd"),
                                           QRegularExpression::CaseInsensitiveOption);
    return secret.match(key).hasMatch();
}

void Redactor::remember(const QString& secret) {
    if (!secret.isEmpty() && !m_secrets.contains(secret)) m_secrets.append(secret);
}

// "…;PWD=secret;…", "Password = {a;b}": the value up to the next semicolon, or in braces.
QString Redactor::connectionText(const QString& text) {
    static const QRegularExpression pair(
        QStringLiteral("(\\b(?:password|passwd|pwd)\\s*=\\s*)(\\{[^}]*\\}?|[^;]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype done = 0;
    for (auto it = pair.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        QString secret = m.captured(2).trimmed();
        if (secret.startsWith(QLatin1Char('{'))) secret.remove(0, 1);
        if (secret.endsWith(QLatin1Char('}'))) secret.chop(1);
        out += text.mid(done, m.capturedStart(2) - done);
        if (secret.isEmpty()) {
            out += m.captured(2);
        } else {
            remember(secret);
            out += QLatin1String(Mask);
        }
        done = m.capturedEnd(2);
    }
    return out + text.mid(done);
}

QString Redactor::value(const QString& key, const QString& value) {
    if (!isSecretKey(key)) return connectionText(value);
    remember(value.trimmed());
    return value.isEmpty() ? value : QString::fromLatin1(Mask);
}

QByteArray Redactor::scrub(QByteArray data) const {
    for (const QString& secret : m_secrets)
        if (secret.size() >= 4) data.replace(secret.toUtf8(), Mask);
    return data;
}

} // namespace q7rk::redaction
