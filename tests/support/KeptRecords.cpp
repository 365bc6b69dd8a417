#include "KeptRecords.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTest>

namespace q7rk::testing::records {

namespace {

QString root() {
    static const QString dir = [] {
        const QString value = qEnvironmentVariable("Q7RK_KEEP_RECORDS");
        // Tests change their working folder: a relative path would land in a temporary one.
        if (!value.isEmpty() && QDir::isRelativePath(value))
            qFatal("Q7RK_KEEP_RECORDS must be an absolute path, not %s", qPrintable(value));
        return value;
    }();
    return dir;
}

QString caseName() {
    QString name = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* tag = QTest::currentDataTag(); tag && *tag)
        name += QLatin1Char('@') + QString::fromUtf8(tag);
    return name.isEmpty() ? QStringLiteral("outside-cases") : name.replace(QLatin1Char('/'), '_');
}

} // namespace

bool kept() {
    return !root().isEmpty();
}

QString caseFolder() {
    if (!kept()) return {};
    static QHash<QString, bool> started;
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString folder = root() + QLatin1Char('/') + program + QLatin1Char('/') + caseName();
    if (!started.value(folder)) {
        started.insert(folder, true);
        QDir(folder).removeRecursively(); // an earlier keeping of the same case
        QDir().mkpath(folder);
    }
    return folder;
}

QString nextName(const QString& label) {
    static QHash<QString, int> used;
    const int n = ++used[caseFolder() + QLatin1Char('/') + label];
    return n == 1 ? label : label + QLatin1Char('-') + QString::number(n);
}

void keepFolder(const QString& folder, const QString& label) {
    if (!kept()) return;
    const QString target = caseFolder() + QLatin1Char('/') + nextName(label);
    QDir().mkpath(target);
    const QDir source(folder);
    for (const QString& name :
         source.entryList({"*.db", "*.db-wal", "*.db-journal"}, QDir::Files, QDir::Name))
        QFile::copy(source.filePath(name), target + QLatin1Char('/') + name);
}

} // namespace q7rk::testing::records
