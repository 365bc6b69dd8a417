#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QProgressDialog;
class QWidget;

namespace q7rk {

class Station;

// 文件 → 导入旧版数据…: the Access files chosen, the tool's dry run shown (per file what would
// be imported, skipped and why, tests without a curve, curves without a test, errors) with the
// question whether to import; on Yes the import with a progress bar that cancels, then its
// report. Every dialog is opened, never exec'd: the window's events go on while the tool
// runs. The flow deletes itself at its end.
class OldDataImportFlow : public QObject {
    Q_OBJECT
public:
    OldDataImportFlow(Station& station, QWidget& window);
    // The file dialog; or straight to the dry run of `files` when they are given.
    void start(const QStringList& files = {});

signals:
    // The tool wrote into the result files (the real import ended, also cancelled or failed):
    // the windows that show stored tests read them again.
    void imported();

private:
    void dryRun(const QStringList& files);
    void dryRunEnded();
    void import();
    void importEnded();
    void showProgress(const QString& label, bool busy);
    void closeProgress();
    void finish();

    Station& m_station;
    QWidget& m_window;
    QStringList m_files;
    QPointer<QProgressDialog> m_progress;
    bool m_importing = false; // the real import, not the dry run
};

// 文件 → 导入旧版设置…: the registry export chosen, the tool's dry run against the station's
// settings file shown (how many keys, those this program does not use, decimal commas, or the
// applications the file holds when the old program's is not among them), then on Yes the
// station takes the settings into its own store and loads the channels again.
class OldSettingsImportFlow : public QObject {
    Q_OBJECT
public:
    OldSettingsImportFlow(Station& station, QWidget& window);
    void start(const QString& file = {});

private:
    void preview(const QString& file);
    void previewed();
    void finish();

    Station& m_station;
    QWidget& m_window;
    QString m_file;
};

} // namespace q7rk
