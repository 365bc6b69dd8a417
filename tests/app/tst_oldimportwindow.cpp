// 导入旧版数据 and 导入旧版设置 as the operator gives them: the menu item, the file dialog, the
// dry run's report with its question, the report at the end, and what the window shows after.
// The real q7rk-results does the work, on the shared fixtures (copied first).
#include "app/MainWindow.h"
#include "app/PanelWidgets.h"
#include "shell/ScriptedPrompter.h"
#include "station/OldDataImport.h"
#include "station/OldSettingsImport.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace q7rk;

namespace {

const QString Fixtures = QStringLiteral(Q7RK_OLD_PROGRAM_FIXTURES);

template <typename T> T* shown(const QWidget& window, const char* name) {
    T* found = nullptr;
    // The dialogs come as the tool's process ends.
    for (int waited = 0; waited < 60000 && !found; waited += 50) {
        found = window.findChild<T*>(QLatin1String(name));
        if (!found || !found->isVisible()) {
            found = nullptr;
            QTest::qWait(50);
        }
    }
    return found;
}

} // namespace

class OldImportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!QFileInfo::exists(Fixtures)) QSKIP("../shared/fixtures/old-program is absent");
        QDir::setCurrent(m_dir.path()); // the result files are written here
        auto prompter = std::make_unique<ScriptedPrompter>();
        m_prompter = prompter.get();
        m_window = std::make_unique<MainWindow>(m_dir.filePath("q7rk.ini"), std::move(prompter));
        m_window->station().oldDataImport().setTool(Q7RK_RESULTS_TOOL);
        m_window->station().oldSettingsImport().setTool(Q7RK_RESULTS_TOOL);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() {
        m_window.reset();
        QDir::setCurrent(m_previous);
    }

    // The file chosen, the dry run shown and answered Yes, the import's report; the query
    // window that was open finds the imported tests.
    void oldDataComeInAndTheQueryWindowShowsThem() {
        const QString file = copy("lb53A100.mdb");
        m_window->showQuery();
        auto* query = m_window->findChild<QWidget*>("query");
        QVERIFY(query);
        query->findChild<QComboBox*>("Combo1")->setCurrentText("化成电压");
        query->findChild<QComboBox*>("Combo2")->setCurrentText(">");
        query->findChild<QLineEdit*>("Text1")->setText("0");
        query->findChild<QPushButton*>("Command1")->click();
        auto* grid = query->findChild<QTableView*>();
        QCOMPARE(grid->model()->rowCount(), 3); // nothing stored yet

        m_window->findChild<QAction*>("importOld")->trigger();
        auto* files = shown<QFileDialog>(*m_window, "oldDataFiles");
        QVERIFY(files);
        files->selectFile(file);
        static_cast<QDialog*>(files)->accept();

        auto* preview = shown<QMessageBox>(*m_window, "oldDataPreview");
        QVERIFY(preview);
        QVERIFY2(preview->text().contains("可导入 5 个测试") &&
                     preview->text().endsWith("是否导入这些测试？"),
                 qPrintable(preview->text()));
        preview->button(QMessageBox::Yes)->click();
        auto* report = shown<QMessageBox>(*m_window, "oldDataReport");
        QVERIFY(report);
        QVERIFY2(report->text().startsWith("导入完成：共导入 5 个测试。"),
                 qPrintable(report->text()));
        QCOMPARE(grid->model()->rowCount(), 3 + 5);
        report->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!m_window->findChild<QObject*>("oldDataReport"));
        QVERIFY(m_prompter->texts().size() == 1); // only the empty search, before
    }

    // The registry export chosen, what would be written shown and answered Yes: the panels
    // show the imported parameters.
    void oldSettingsComeInAndThePanelsShowThem() {
        const QString file = copy("sample-regedit4.reg");
        m_window->findChild<QAction*>("importOldSettings")->trigger();
        auto* files = shown<QFileDialog>(*m_window, "oldSettingsFile");
        QVERIFY(files);
        files->selectFile(file);
        static_cast<QDialog*>(files)->accept();
        auto* preview = shown<QMessageBox>(*m_window, "oldSettingsPreview");
        QVERIFY(preview);
        QVERIFY2(
            preview->text().startsWith("文件：sample-regedit4.reg（GB18030）\n将写入 7 项设置。"),
            qPrintable(preview->text()));
        preview->button(QMessageBox::Yes)->click();
        auto* report = shown<QMessageBox>(*m_window, "oldSettingsReport");
        QVERIFY(report);
        QVERIFY2(report->text().startsWith("已导入 7 项旧版设置"), qPrintable(report->text()));
        auto* number = m_window->findChild<QLineEdit*>(boxObjectName(0, Box::TvTestNumber));
        QCOMPARE(number->text(), QString("1203"));
        report->button(QMessageBox::Ok)->click();
    }

private:
    QString copy(const QString& name) {
        const QString to = m_dir.filePath(name);
        QFile::copy(Fixtures + '/' + name, to);
        QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return to;
    }

    QTemporaryDir m_dir;
    QString m_previous = QDir::currentPath();
    ScriptedPrompter* m_prompter = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(OldImportWindowTest)
#include "tst_oldimportwindow.moc"
