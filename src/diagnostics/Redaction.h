#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What goes to support keeps no password: values of keys named for one, passwords inside
// connection texts ("DSN=x;UID=u;PWD=secret;"), and every password so found wherever else
// it turns up.
namespace q7rk::redaction {

inline constexpr const char* Mask = "******";

// A key whose name holds password, passwd or pwd (any case).
bool isSecretKey(const QString& key);

// The passwords found are added to `secrets`.
class Redactor {
public:
    // The value of `key` as it may be shown: masked for a secret key (an empty one stays
    // empty: it hides nothing), otherwise with the passwords of any connection text in it
    // masked.
    QString value(const QString& key, const QString& value);
    // Every password found so far replaced in `data`, wherever it stands. Passwords shorter
    // than four characters are left: they would mask half of any text.
    QByteArray scrub(QByteArray data) const;
    const QStringList& secrets() const { return m_secrets; }

private:
    QString connectionText(const QString& text);
    void remember(const QString& secret);

    QStringList m_secrets;
};

} // namespace q7rk::redaction
