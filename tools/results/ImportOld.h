#pragma once

#include <QCommandLineParser>
#include <QStringList>

namespace q7rk {

// `import-old --inspect FILE`: the old file's format, code page, tables and columns as JSON.
int runInspectOld(const QCommandLineParser& parser, const QString& path);
// `import-old FILE…`: the old result files into the working folder's; the report as JSON.
// Exit 0 done, 1 a file not read (named, with the cause) or a cancel.
int runImportOld(const QCommandLineParser& parser, const QStringList& paths);

} // namespace q7rk
