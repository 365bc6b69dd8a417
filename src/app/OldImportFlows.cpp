#include "OldImportFlows.h"

#include "settings/SettingsStore.h"
#include "station/OldDataImport.h"
#include "station/OldSettingsImport.h"
#include "station/Station.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace q7rk {

namespace {

const QString DataTitle = QStringLiteral("导入旧版数据");
const QString SettingsTitle = QStringLiteral("导入旧版设置");

// A message or a Yes/No question, opened window-modal and gone when answered.
QMessageBox* openBox(QWidget& window, const char* name, const QString& title, const QString& text,
                     QMessageBox::Icon icon = QMessageBox::Information) {
    const bool question = icon == QMessageBox::Question;
    auto* box =
        new QMessageBox(icon, title, text,
                        question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, &window);
    box->setObjectName(QString::fromLatin1(name));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (question) {
        box->button(QMessageBox::Yes)->setText(QStringLiteral("是"));
        box->button(QMessageBox::No)->setText(QStringLiteral("否"));
        box->setDefaultButton(QMessageBox::No);
    } else {
        box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    }
    box->open();
    return box;
}

QFileDialog* openFileDialog(QWidget& window, const char* name, const QString& title,
                            const QString& filter, QFileDialog::FileMode mode) {
    auto* dialog = new QFileDialog(&window, title, QString(), filter);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(mode);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    return dialog;
}

} // namespace

// ---- 导入旧版数据 ----

OldDataImportFlow::OldDataImportFlow(Station& station, QWidget& window)
    : QObject(&window), m_station(station), m_window(window) {
    OldDataImport& job = m_station.oldDataImport();
    connect(&job, &OldDataImport::finished, this,
            [this] { m_importing ? importEnded() : dryRunEnded(); });
    connect(&job, &OldDataImport::progress, this, [this](int done, int total) {
        if (!m_progress || !m_importing) return;
        m_progress->setMaximum(total);
        m_progress->setValue(done);
    });
}

void OldDataImportFlow::start(const QStringList& files) {
    if (!files.isEmpty()) return dryRun(files);
    QFileDialog* dialog = openFileDialog(m_window, "oldDataFiles", DataTitle,
                                         QStringLiteral("旧版结果文件 (*.mdb);;所有文件 (*)"),
                                         QFileDialog::ExistingFiles);
    connect(dialog, &QFileDialog::filesSelected, this, &OldDataImportFlow::dryRun);
    connect(dialog, &QFileDialog::rejected, this, &OldDataImportFlow::finish);
    dialog->open();
}

void OldDataImportFlow::dryRun(const QStringList& files) {
    m_files = files;
    m_importing = false;
    if (!m_station.oldDataImport().dryRun(files)) {
        openBox(m_window, "oldDataBusy", DataTitle, QStringLiteral("上一次导入还没有结束。"));
        return finish();
    }
    showProgress(QStringLiteral("正在检查旧版数据文件…"), true);
}

void OldDataImportFlow::dryRunEnded() {
    closeProgress();
    const OldImportReport& report = m_station.oldDataImport().report();
    if (report.cancelled && report.failure.isEmpty()) return finish(); // the operator's 取消
    const QString text = oldImportReportText(report);
    if (!report.failure.isEmpty() || report.imported == 0) {
        const bool failed = !report.failure.isEmpty() || report.anyFileFailed();
        QMessageBox* box =
            openBox(m_window, "oldDataPreview", DataTitle,
                    report.imported == 0 && report.failure.isEmpty()
                        ? text + QStringLiteral("\n\n没有可以导入的测试。")
                        : text,
                    failed ? QMessageBox::Warning : QMessageBox::Information);
        connect(box, &QDialog::finished, this, &OldDataImportFlow::finish);
        return;
    }
    QMessageBox* box =
        openBox(m_window, "oldDataPreview", DataTitle,
                text + QStringLiteral("\n\n是否导入这些测试？"), QMessageBox::Question);
    connect(box, &QDialog::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes)
            import();
        else
            finish();
    });
}

void OldDataImportFlow::import() {
    // Nothing may have started since the command was given, but the rules are the rules.
    if (!m_station.permits(Command::ImportOldData)) return finish();
    m_importing = true;
    if (!m_station.oldDataImport().import(m_files)) {
        openBox(m_window, "oldDataBusy", DataTitle, QStringLiteral("上一次导入还没有结束。"));
        return finish();
    }
    showProgress(QStringLiteral("正在导入旧版数据…"), false);
}

void OldDataImportFlow::importEnded() {
    closeProgress();
    const OldImportReport& report = m_station.oldDataImport().report();
    emit imported();
    const bool failed = !report.failure.isEmpty() || report.anyFileFailed();
    QMessageBox* box = openBox(m_window, "oldDataReport", DataTitle, oldImportReportText(report),
                               failed ? QMessageBox::Warning : QMessageBox::Information);
    connect(box, &QDialog::finished, this, &OldDataImportFlow::finish);
}

// Busy (no steps known) while the files are checked; steps of tests while they are imported.
// A cancel asks the tool to stop after the batch it is writing: the bar stays until it has.
void OldDataImportFlow::showProgress(const QString& label, bool busy) {
    auto* progress = new QProgressDialog(label, QStringLiteral("取消"), 0, busy ? 0 : 1, &m_window);
    progress->setObjectName(QStringLiteral("oldDataProgress"));
    progress->setWindowTitle(DataTitle);
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    // The dialog hides itself on 取消 unless told not to (it connects by name).
    disconnect(progress, SIGNAL(canceled()), progress, SLOT(cancel()));
    const auto cancel = [this, progress] {
        progress->setLabelText(m_importing ? QStringLiteral("正在取消：写完当前一批测试后停止…")
                                           : QStringLiteral("正在取消…"));
        progress->setCancelButton(nullptr);
        m_station.oldDataImport().cancel();
    };
    connect(progress, &QProgressDialog::canceled, this, cancel);
    // Escape closes the dialog without 取消: it cancels all the same, and the bar comes back.
    connect(progress, &QDialog::rejected, this, [progress, cancel] {
        cancel();
        progress->open();
    });
    progress->open();
    m_progress = progress;
}

// Hidden, not closed: a close would say 取消.
void OldDataImportFlow::closeProgress() {
    if (!m_progress) return;
    m_progress->disconnect(this);
    m_progress->hide();
    m_progress->deleteLater();
    m_progress = nullptr;
}

void OldDataImportFlow::finish() {
    closeProgress();
    deleteLater();
}

// ---- 导入旧版设置 ----

OldSettingsImportFlow::OldSettingsImportFlow(Station& station, QWidget& window)
    : QObject(&window), m_station(station), m_window(window) {
    connect(&m_station.oldSettingsImport(), &OldSettingsImport::previewed, this,
            &OldSettingsImportFlow::previewed);
}

void OldSettingsImportFlow::start(const QString& file) {
    if (!file.isEmpty()) return preview(file);
    QFileDialog* dialog = openFileDialog(m_window, "oldSettingsFile", SettingsTitle,
                                         QStringLiteral("注册表导出文件 (*.reg);;所有文件 (*)"),
                                         QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, &OldSettingsImportFlow::preview);
    connect(dialog, &QFileDialog::rejected, this, &OldSettingsImportFlow::finish);
    dialog->open();
}

void OldSettingsImportFlow::preview(const QString& file) {
    m_file = file;
    if (!m_station.oldSettingsImport().preview(file, m_station.settings().filePath())) finish();
}

void OldSettingsImportFlow::previewed() {
    const OldSettingsPreview& preview = m_station.oldSettingsImport().lastPreview();
    const QString text = oldSettingsPreviewText(preview);
    if (!preview.importable()) {
        QMessageBox* box =
            openBox(m_window, "oldSettingsPreview", SettingsTitle, text, QMessageBox::Warning);
        connect(box, &QDialog::finished, this, &OldSettingsImportFlow::finish);
        return;
    }
    QMessageBox* box =
        openBox(m_window, "oldSettingsPreview", SettingsTitle,
                text + QStringLiteral("\n\n导入后各通道的参数将按导入的设置重新载入。是否导入？"),
                QMessageBox::Question);
    connect(box, &QDialog::finished, this, [this](int answer) {
        if (answer != QMessageBox::Yes) return finish();
        const OldSettingsOutcome outcome = m_station.importOldSettings(m_file);
        QMessageBox* report =
            openBox(m_window, "oldSettingsReport", SettingsTitle, oldSettingsImportedText(outcome),
                    outcome.error.isEmpty() ? QMessageBox::Information : QMessageBox::Warning);
        connect(report, &QDialog::finished, this, &OldSettingsImportFlow::finish);
    });
}

void OldSettingsImportFlow::finish() {
    deleteLater();
}

} // namespace q7rk
