// The plant page inside the station, on both back ends: a simulator run uploaded as pieces,
// a foil opened back into the page, panels and charts, and the queue when the server goes.
#include "PlantServer.h"
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/RunController.h"
#include "link/EthernetLink.h"
#include "params/PanelModel.h"
#include "plant/FoilRecords.h"
#include "plant/PlantConnection.h"
#include "plant/PlantPage.h"
#include "plant/PlantQueuePresenter.h"
#include "plant/PlantSql.h"
#include "results/ResultStore.h"
#include "settings/NumberText.h"
#include "settings/SampleStore.h"
#include "shell/ScriptedPrompter.h"
#include "station/PieceUploadWorkflow.h"
#include "station/StoredPieceUpload.h"
#include "support/SimulatorProcess.h"
#include "support/TestStation.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

using namespace q7rk;

namespace {

const QString Serial = QStringLiteral("T7A");

struct Bench : testing::TestStation {
    Bench() {
        // Opening or deleting a foil gives the run's unsaved tests up on Yes.
        prompter.setAnswer({Question::ConfirmStart, Question::UploadPiece,
                            Question::OpenFoilUnsaved, Question::DeleteFoilUnsaved},
                           true);
        prompter.setAnswer(Question::SaveResults, false);
        station.startUp();
    }
    PlantPage& page = station.plant();
    PlantQueuePresenter& queue = station.plantQueue();
    // What the run of channels 1-3 measured, kept past the resets of the cases.
    std::array<StoredTest, 3> measured;
};

QString u(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

class PlantPageTest : public QObject {
    Q_OBJECT

    PlantServer m_server;
    std::unique_ptr<Bench> m_bench;

    // Channels 1-3 as 保存 offers them to the plant: the run's records, here with the delay
    // the channel shows now (the same run stands in for the tests after boiling).
    QList<RunPiece> takeGroup() const {
        const PanelModel& panel = m_bench->panel;
        QList<RunPiece> pieces;
        for (int k = 0; k < 3; ++k) {
            StoredTest record = m_bench->measured[std::size_t(k)];
            record.setValue(QString::fromUtf8("延迟时间"), panel.text(k, Box::DelayTime));
            pieces << takeRunPiece(record, k, panel.text(0, Box::TvTestNumber).trimmed(),
                                   panel.option(Option::AfterBoiling, 0));
        }
        return pieces;
    }
    PlantUploadResult upload(const QList<RunPiece>& pieces) {
        m_bench->prompter.clear();
        return m_bench->station.pieceUpload().upload(pieces);
    }
    PlantUploadResult uploadGroup() { return upload(takeGroup()); }

    // Questions and messages the operator had to answer or close.
    int shownOf(ScriptedPrompter::Shown::Kind kind) const {
        const auto& shown = m_bench->prompter.shown();
        return int(
            std::count_if(shown.begin(), shown.end(),
                          [kind](const ScriptedPrompter::Shown& s) { return s.kind == kind; }));
    }

private slots:
    void initTestCase_data() { PlantServer::backendRows(); }

    // One run of channels 1-3 with a short delay; every test uploads its samples.
    void initTestCase() {
        QVERIFY(m_server.home.isValid());
        // The server's control script runs as another user from here.
        QFile::setPermissions(m_server.home.path(), QFile::permissions(m_server.home.path()) |
                                                        QFile::ExeGroup | QFile::ExeOther);
        const QString problem = m_server.registerSources();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20"}), qPrintable(sim.error()));
        m_bench = std::make_unique<Bench>();
        PanelModel& panel = m_bench->panel;
        for (int k = 0; k < 3; ++k) {
            panel.type(k, Box::DelayTime, "20");
            panel.leave(k, Box::DelayTime);
            panel.setText(k, Box::TvTestNumber, Serial);
        }
        QVERIFY(m_bench->connectTcp(sim.port()));

        // A start of channels 1-3 begins a new foil's pieces.
        m_bench->page.grid().setEntry(PieceQuantity::Bend, 2, "4");
        QSignalSpy ended(&m_bench->station.run(), &RunController::runEnded);
        m_bench->station.perform(Command::RunChannels123);
        QCOMPARE(m_bench->page.grid().cell(2, 2), QString());
        QVERIFY(ended.wait(60000));
        for (int k = 0; k < 3; ++k) {
            QVERIFY(panel.number(k, Box::RiseTime) > 0);
            m_bench->measured[std::size_t(k)] = m_bench->station.tests()[k].measured;
        }
        QCOMPARE(m_bench->page.text(FoilBox::Serial), Serial);
    }

    void init() {
        QFETCH_GLOBAL(bool, postgres);
        if (!m_server.choose(postgres))
            QSKIP(PlantServer::NoServer);
        QFile::remove(m_bench->path(UploadQueue::FileName));
        m_bench->station.setPlantSource(m_server.source);
        m_bench->prompter.onAsked(nullptr);
        QVERIFY(m_server.prepare());
        PlantPage& page = m_bench->page;
        page.resetPieceGrid();
        page.setText(FoilBox::Serial, Serial);
        page.typeText(FoilBox::Grade, "s-9");
        page.typeText(FoilBox::Vf, "520");
        page.typeText(FoilBox::Joints, "2");
        page.setUploadConfirm(UploadConfirm::EachPiece);
        m_bench->prompter.setAnswer(Question::UploadPieces, true);
    }

    // 保存 stores the run once; the pieces declined or refused (接头数 not a number) then are
    // offered by the next 保存 alone, which asks once for both.
    void aSecondSaveOffersThePiecesNotSentOnly() {
        Station& station = m_bench->station;
        if (station.tests().state(0) != TestState::Finished)
            QSKIP("the run was saved (and then given up) with the first back end");
        for (int k = 0; k < 3; ++k)
            m_bench->panel.setText(k, Box::TvOperator, "W");
        for (bool yes : {false, true}) {
            m_bench->prompter.setAnswer({Question::UploadPiece, 2}, yes);
            m_bench->page.typeText(FoilBox::Joints, yes ? "2" : "abc");
            m_bench->page.setUploadConfirm(yes ? UploadConfirm::Once : UploadConfirm::EachPiece);
            m_bench->prompter.clear();
            QVERIFY(station.save());
            const PlantUploadResult& upload = station.pieceUpload().lastUpload();
            QCOMPARE(yes ? upload.uploaded : upload.failed + upload.declined, QList<int>({1, 2}));
            // Written with the tests, the outbox keeps what did not go, each with its test.
            const auto kept = station.plantQueue().outbox().entries().value;
            QCOMPARE(int(kept.size()), yes ? 0 : 2);
            for (const QueuedUpload& e : kept) {
                QCOMPARE(e.state, e.piece.curveNumber == 1 ? OutboxState::Held
                                                           : OutboxState::Declined);
                QVERIFY(e.origin->key.number.startsWith(Serial)); // number and position
                // A No is no attempt and needs no reason beside the state.
                QCOMPARE(e.reason.isEmpty() && !e.tried.isValid(),
                         e.state == OutboxState::Declined);
            }
        }
        const QHash<QString, QString> delivered = station.plantDeliveries();
        QCOMPARE(delivered.size(), 3);
        for (const QString& text : delivered)
            QVERIFY2(text.startsWith(QString::fromUtf8("已上传 ")), qPrintable(text));
        QCOMPARE(m_bench->prompter.texts(),
                 QStringList({QString::fromUtf8("第1、2片数据是否上传到工厂数据库?（卷号 T7A）\n"
                                                "将新建卷号 T7A 的整卷记录：规格 S-9，VF值 520，"
                                                "接头数 2。"),
                              QString::fromUtf8("第1、2片曲线数据保存完毕!（卷号 T7A）")}));
        QCOMPARE(ResultStore(QDir::currentPath()).allRows(TestKind::Tv).count(), 3);
        QVERIFY(!station.save());
    }

    // A stored test sent later, from the stored tests window and then by q7rk-results under
    // the same serial and piece: the plant holds it once, with the stored values and the lab
    // values it had; the window's column says when it went.
    void aStoredTestGoesToThePlantLater() {
        Station& station = m_bench->station;
        const ResultRows stored = ResultStore(QDir::currentPath()).allRows(TestKind::Tv);
        if (stored.count() == 0) QSKIP("the run was not stored with the first back end");
        const TestKey key{stored.text(0, 0), false};
        const QString tv = ResultStore(QDir::currentPath()).load(TestKind::Tv, key)->value("TV值");
        PieceUpload older;
        older.serial = "L9";
        older.curveNumber = 5;
        QVERIFY(station.plantQueue().outbox().add(older, OutboxState::Declined).ok());
        m_bench->prompter.setTextAnswer(Question::UploadStoredSerial, "L9");
        m_bench->prompter.setTextAnswer(Question::UploadStoredPiece, "2'");
        QSignalSpy retried(&station.plantQueue(), &PlantQueuePresenter::queueRetried);
        QVERIFY(station.uploadStoredTest(key));
        QVERIFY(retried.wait(30000));
        QVERIFY(PlantConnection(m_server.source, PlantLogin::Own)
                    .exec("update Part_Parameter set SpecVot=3.5 where SerNum='L9'")
                    .ok());
        QProcess tool;
        tool.start(QStringLiteral(Q7RK_RESULTS_PATH),
                   {"upload", "--workdir", QDir::currentPath(), "--kind", "tv", "--test",
                    key.number, "--serial", "L9", "--piece", "5", "--dsn",
                    m_server.source.dataSource()});
        QVERIFY(tool.waitForFinished(30000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardOutput().constData());
        const auto rows = openPlantRecordset(m_server.source,
                                             "select Vt, SpecVot, (select count(*) from Curve "
                                             "where SerNum='L9') from Part_Parameter where "
                                             "SerNum='L9' and NumCurve=5");
        QCOMPARE(rows.value.recordCount(), 1);
        QCOMPARE(rows.value.value(0, 0).toDouble(), tv.toDouble());
        QCOMPARE(rows.value.value(0, 1).toDouble(), 3.5);
        QCOMPARE(rows.value.value(0, 2).toInt(), 1);
        QVERIFY(station.plantDeliveries().value(shownKey(key)).startsWith(QString::fromUtf8("已上传")));
        // Sent, the test is offered again under the serial and piece it went with last.
        const auto test = ResultStore(QDir::currentPath()).load(TestKind::Tv, key);
        const PieceAddress proposed = proposedAddress(station.plantQueue().outbox(), *test);
        QCOMPARE(QVariantList({proposed.serial, proposed.piece}), QVariantList({"L9", 5}));
        QCOMPARE(station.plantQueue().outbox().entries().value.front().state,
                 OutboxState::Superseded);
    }

    // The same foil after boiling, under the same numbers: stored beside the tests before
    // boiling, and its pieces are 1'-3' of the same serial.
    void theSameFoilAfterBoiling() {
        Station& station = m_bench->station;
        QFETCH_GLOBAL(bool, postgres);
        if (postgres || station.tests().state(0) != TestState::Stored)
            QSKIP("the foil is boiled once, with the first back end");
        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20"}), qPrintable(sim.error()));
        if (station.ethernetLink().state() != EthernetLink::Closed) // the first simulator's
            station.perform(Command::ToggleEthernet);
        QTRY_VERIFY(station.ethernetLink().state() == EthernetLink::Closed);
        QVERIFY(m_bench->connectTcp(sim.port()));
        PanelModel& panel = m_bench->panel;
        panel.clickOption(Option::AfterBoiling, 0);
        panel.type(0, Box::DelayTime, "20");
        panel.leave(0, Box::DelayTime);
        QSignalSpy ended(&station.run(), &RunController::runEnded);
        station.perform(Command::RunChannels123);
        QVERIFY(ended.wait(60000));
        m_bench->prompter.clear();
        QVERIFY(station.save());
        QCOMPARE(station.pieceUpload().lastUpload().uploaded, QList<int>({4, 5, 6}));
        QCOMPARE(m_bench->prompter.texts()
                     .filter(QString::fromUtf8("第1'片数据是否保存?（卷号 T7A）"))
                     .size(),
                 1);
        const ResultStore results(QDir::currentPath());
        for (const bool after : {false, true})
            QVERIFY(results.load(TestKind::Tv, TestKey{Serial + "HM", after}));
        const auto opened = FoilRecords(m_server.source).open(Serial);
        QList<int> curves;
        for (const StoredCurve& c : opened.value.curves)
            curves << c.curveNumber;
        QCOMPARE(curves, QList<int>({4, 5, 6})); // the plant was emptied for this test
        panel.clickOption(Option::BeforeBoiling, 0);
        panel.type(0, Box::DelayTime, "20");
        panel.leave(0, Box::DelayTime);
    }

    void uploadsThePiecesOfARun() {
        SampleStore& samples = m_bench->station.samples();
        PanelModel& panel = m_bench->panel;
        // A piece goes with the samples it was taken with, whatever the channel shows later.
        const QList<RunPiece> pieces = takeGroup();
        const SampleStore taken = samples;
        for (int k = 0; k < 3; ++k)
            samples.clear(k);
        const PlantUploadResult before = upload(pieces);
        samples = taken;
        QCOMPARE(before.uploaded, QList<int>({1, 2, 3}));
        QVERIFY(before.message.isEmpty());
        // By default a question and a message for every piece.
        QCOMPARE(shownOf(ScriptedPrompter::Shown::Question), 3);
        QCOMPARE(shownOf(ScriptedPrompter::Shown::Message), 3);

        // After boiling the same channels are pieces 1'-3', with the preset delay of 60 s
        // (the run's tests let go, as once they are stored).
        for (int k = 0; k < 3; ++k)
            panel.setHeld(k, false);
        panel.clickOption(Option::AfterBoiling, 0);
        m_bench->page.setUploadConfirm(UploadConfirm::Once);
        const PlantUploadResult after = uploadGroup();
        panel.clickOption(Option::BeforeBoiling, 0);
        for (int k = 0; k < 3; ++k)
            panel.setText(k, Box::DelayTime, "20");
        QCOMPARE(after.uploaded, QList<int>({4, 5, 6}));
        QCOMPARE(
            m_bench->prompter.texts(),
            QStringList({QString::fromUtf8("第1'、2'、3'片数据是否上传到工厂数据库?（卷号 T7A）\n"
                                           "工厂数据库中卷号 T7A 的整卷记录不变。"),
                         QString::fromUtf8("第1'、2'、3'片曲线数据保存完毕!（卷号 T7A）")}));

        const auto opened = FoilRecords(m_server.source).open(Serial);
        QCOMPARE(int(opened.value.curves.size()), 6);
        for (const StoredCurve& c : opened.value.curves) {
            const int k = (c.curveNumber - 1) % 3;
            const int delay = c.curveNumber <= 3 ? 20 : 60;
            const int n = int(std::nearbyint(panel.number(k, Box::RiseTime))) + delay;
            // Each piece from its own channel; the columns themselves are the upload's test.
            QCOMPARE(int(c.values.size()), n);
            // Past what the run measured (the 60 s after boiling) the columns are 0.
            const auto& measured = m_bench->measured[std::size_t(k)].curve;
            QCOMPARE(c.values[std::size_t(n - 1)],
                     std::size_t(n) <= measured.size() ? float(measured[std::size_t(n - 1)].volts)
                                                       : 0.0f);
        }
    }

    // Pieces 1 and 1' write only what the page holds for their serial. Nothing (a fresh start,
    // after 删除; VF shows channel 1's formation voltage then): the plant's row stays as it is,
    // and the first question says so, or that there is none. A value typed for the serial
    // makes a new row of that value alone.
    void piecesGoWithoutAFoilThePageDoesNotKnow() {
        PlantPage& page = m_bench->page;
        const auto firstQuestion = [](const char* note) {
            return QString::fromUtf8("第1片数据是否保存?（卷号 T7A）\n") + QString::fromUtf8(note);
        };
        page.setText(FoilBox::Grade, " ");
        page.setText(FoilBox::Vf, "520");
        page.setText(FoilBox::Joints, "");
        QCOMPARE(uploadGroup().uploaded, QList<int>({1, 2, 3}));
        QVERIFY(m_bench->prompter.texts().first().startsWith(
            firstQuestion("工厂数据库中没有卷号 T7A 的整卷记录")));
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), 0);
        page.typeText(FoilBox::Grade, "s-1");
        uploadGroup();
        QCOMPARE(m_bench->prompter.texts().first(),
                 firstQuestion("将新建卷号 T7A 的整卷记录：规格 S-1。"));
        page.setText(FoilBox::Grade, "S-2");
        const PlantUploadResult again = uploadGroup();
        QCOMPARE(m_bench->prompter.texts().first(),
                 firstQuestion("工厂数据库中卷号 T7A 的整卷记录不变。"));
        QVERIFY(again.message.contains(QString::fromUtf8("卷号 T7A 的整卷记录未写入")));
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter where Speci='S-1' and VF is "
                                "null and NodeNum is null"),
                 1);
    }

    // Asked once: No declines the whole group; after a Yes one message tells each piece's
    // outcome as exactly as the per-piece messages would.
    void askedOnceTheAnswerCoversTheGroup() {
        PlantPage& page = m_bench->page;
        page.setUploadConfirm(UploadConfirm::Once);
        m_bench->prompter.setAnswer(Question::UploadPieces, false);
        QCOMPARE(uploadGroup().declined, QList<int>({1, 2, 3}));
        QCOMPARE(m_bench->prompter.shown().size(), 1);
        QCOMPARE(m_server.count("select count(*) from Part_Parameter"), 0);

        m_bench->prompter.setAnswer(Question::UploadPieces, true);
        page.grid().setEntry(PieceQuantity::Bend, 1, "x");
        const PlantUploadResult result = uploadGroup();
        page.grid().setEntry(PieceQuantity::Bend, 1, "");
        QCOMPARE(result.uploaded, QList<int>({2, 3}));
        QCOMPARE(result.failed, QList<int>{1});
        QCOMPARE(shownOf(ScriptedPrompter::Shown::Question), 1);
        QCOMPARE(shownOf(ScriptedPrompter::Shown::Message), 1);
        QCOMPARE(m_bench->prompter.texts().last(),
                 QString::fromUtf8("第1片数据已存入本机结果文件，但未存入工厂数据库。\n"
                                   "第2、3片已存入工厂数据库。\n"
                                   "第1片被拒绝：第1片的“折弯”必须是数字或留空！"));
        QCOMPARE(m_server.count("select count(*) from Curve"), 2);
    }

    void openingAFoilFillsThePageAndDrawsItsCurves() {
        QCOMPARE(uploadGroup().uploaded.size(), 3);
        PlantPage& page = m_bench->page;
        PanelModel& panel = m_bench->panel;
        ChartSet& charts = m_bench->station.charts();
        // Opening runs the new-test reset, which clears the rise times.
        int riseTime[3], length[3];
        for (int k = 0; k < 3; ++k) {
            panel.setText(k, Box::FormationVoltage, "1");
            charts.frameChannelChart(k);
            // The pieces carry the run's rise time, whatever the channel shows since.
            riseTime[k] = int(std::nearbyint(
                parseNumber(m_bench->measured[std::size_t(k)].value(u("升压时间"))).value_or(-1)));
            length[k] = riseTime[k] + int(std::nearbyint(panel.number(k, Box::DelayTime)));
        }
        page.setText(FoilBox::Serial, Serial);
        page.openFoil();

        QCOMPARE(page.text(FoilBox::Grade), QString("S-9"));
        QCOMPARE(parseNumber(page.text(FoilBox::Vf)), std::optional<double>(520));
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(panel.text(k, Box::FormationVoltage), page.text(FoilBox::Vf));
            QCOMPARE(panel.text(k, Box::TvTestNumber), Serial);
        }
        QCOMPARE(page.grid().cell(2, 4), formatFixed(riseTime[1], 2));

        // Each curve ends at its last stored column, on its own chart.
        for (int k = 0; k < 3; ++k) {
            const int last = length[k] - 1;
            const double x = m_bench->station.plotter().channelX(k, last);
            const double volts = m_bench->measured[std::size_t(k)].curve[std::size_t(last)].volts;
            const double y = (0.9 - volts / (1.5 * 520)) * 4000;
            QCOMPARE(m_bench->station.plotter().channelY(k), y);
            const QImage& image = charts.channelChart(k).image();
            const int px = ChartCanvas::pixelOf(x);
            QCOMPARE(image.pixelColor(px, ChartCanvas::pixelOf(y)), QColor(255, 0, 0));
            int redLeft = 0, redRight = 0;
            for (int col = 0; col < image.width(); ++col)
                for (int row = 0; row < ChartCanvas::pixelOf(3600); ++row)
                    if (image.pixelColor(col, row) == QColor(255, 0, 0))
                        ++(col <= px + 1 ? redLeft : redRight);
            QVERIFY2(redLeft > last, qPrintable(QString::number(redLeft)));
            QCOMPARE(redRight, 0);
        }
    }

    // Piece 1 refused for a bad value, the server gone from piece 2 on: the message names
    // the pieces in their order; 2 and 3 wait, 1 is held for the operator. The operator's
    // pass, after the cell was corrected on the page, stores all three once.
    void refusedAndQueuedPiecesAreToldInOrderAndRetried() {
        PlantPage& page = m_bench->page;
        PlantQueuePresenter& queue = m_bench->queue;
        QSignalSpy pending(&queue, &PlantQueuePresenter::pendingChanged);
        QSignalSpy retried(&queue, &PlantQueuePresenter::queueRetried);
        page.grid().setEntry(PieceQuantity::Bend, 1, "x");
        m_bench->prompter.onAsked([this](QuestionKey question) {
            if (question.piece == 2) QVERIFY(m_server.takeAway(true));
        });
        const PlantUploadResult result = uploadGroup();
        m_bench->prompter.onAsked(nullptr);
        QVERIFY(m_server.takeAway(false));
        page.grid().setEntry(PieceQuantity::Bend, 1, "");
        QCOMPARE(result.failed, QList<int>{1});
        QCOMPARE(result.queued, QList<int>({2, 3}));
        // The server's own words may run over several lines.
        const QString& said = result.message;
        QVERIFY2(said.startsWith(QString::fromUtf8("第1、2、3片数据已存入本机结果文件，但未"
                                                   "存入工厂数据库。\n第2、3片未能上传，已放"
                                                   "入待传队列，下次启动或“补传工厂数据”时重传：")),
                 qPrintable(said));
        QVERIFY(said.endsWith(QString::fromUtf8("\n第1片被拒绝：第1片的“折弯”必须是数字或留空！")));
        QCOMPARE(m_bench->prompter.texts().last(), result.message);
        QCOMPARE(pending.last().first().toInt(), 3);
        QCOMPARE(queue.heldCount(), 1);

        // The pass runs on its own thread: the call returns at once, one pass at a time.
        QSignalSpy status(&queue, &PlantQueuePresenter::queueStatusChanged);
        QVERIFY(m_bench->station.retryPlant());
        QVERIFY(!m_bench->station.retryPlant() && retried.isEmpty());
        QVERIFY(retried.wait(30000));
        QCOMPARE(retried.last(), QVariantList({3, 0}));
        QCOMPARE(pending.last().first().toInt(), 0);
        QCOMPARE(status.first().first().toString(), QString::fromUtf8("正在补传工厂数据：0/3"));
        QCOMPARE(queue.queueStatus(),
                 QString::fromUtf8("补传工厂数据：上传3片，没有等待补传的数据。"));
        QVERIFY(!queue.retryQueue()); // nothing waits, no pass
        for (const char* table : {"Part_Parameter", "Curve"})
            for (int n = 1; n <= 3; ++n)
                QCOMPARE(
                    m_server.count(
                        QString("select count(*) from %1 where SerNum=? and NumCurve=?").arg(table),
                        {Serial, n}),
                    1);

        // A queue file that cannot be written: nothing is said to wait.
        Station& station = m_bench->station;
        station.setPlantSource(PlantSource("nowhere"), m_server.home.filePath("no/such/dir/q.db"));
        const PlantUploadResult lost = uploadGroup();
        station.setPlantSource(m_server.source);
        QCOMPARE(lost.failed, QList<int>({1, 2, 3}));
        QVERIFY(lost.queued.isEmpty());
        QVERIFY2(
            lost.message.contains(QString::fromUtf8("\n第1、2、3片未能上传，本机暂存文件也未能记下")),
            qPrintable(lost.message));
        QVERIFY(!lost.message.contains(QString::fromUtf8("待传队列，稍后")));
    }

    void foilBoxesListsAndFailures() {
        PlantPage& page = m_bench->page;
        PanelModel& panel = m_bench->panel;
        panel.setText(1, Box::TvTestNumber, "other");
        QCOMPARE(page.text(FoilBox::Serial), Serial); // Text14(0), whichever changed
        panel.setText(1, Box::TvTestNumber, Serial);

        page.saveFoil(); // the serial list below shows it stored

        page.setText(FoilBox::Grade, "NEW");
        m_bench->prompter.setAnswer(Question::AddGrade, true);
        page.showGradeList();
        QCOMPARE(page.listItems(PlantList::Grades), QStringList{"NEW"});
        QVERIFY(page.listVisible(PlantList::Grades));
        page.setText(FoilBox::Serial, "");
        page.showSerialList();
        QCOMPARE(page.listItems(PlantList::Serials), QStringList{Serial});
        page.takeListItem(PlantList::Serials, Serial);
        QVERIFY(!page.listVisible(PlantList::Serials));
        QCOMPARE(page.text(FoilBox::Serial), Serial);

        // A database that cannot be reached changes nothing on the page.
        m_bench->station.setPlantSource(PlantSource("nowhere"));
        const FoilRecord shown = page.record();
        m_bench->prompter.setAnswer(Question::DeleteFoil, true);
        page.grid().setEntry(PieceQuantity::Bend, 2, "4");
        page.openFoil();
        page.deleteFoil();
        QCOMPARE(page.record(), shown);
        QVERIFY(m_bench->prompter.texts().last().contains("nowhere"));

        m_bench->station.setPlantSource(m_server.source);
        page.deleteFoil();
        QCOMPARE(page.text(FoilBox::Grade), QString(" "));
        QCOMPARE(page.grid().cell(2, 2), QString());
        QCOMPARE(m_server.count("select count(*) from Whole_Parameter"), 0);
    }

    // 打开 keeps a VF out of the formation-voltage range off the panels and says so; 保存 of
    // the grid names what each piece holds now, and the pieces the plant has no row for.
    void outOfRangeVfAndLabValuesAreTold() {
        QCOMPARE(uploadGroup().uploaded.size(), 3);
        PlantPage& page = m_bench->page;
        PanelModel& panel = m_bench->panel;
        page.typeText(FoilBox::Vf, "1500");
        page.saveFoil();
        for (int k = 0; k < 3; ++k)
            panel.setText(k, Box::FormationVoltage, "300");
        QVERIFY(page.openFoil());
        QCOMPARE(page.text(FoilBox::Vf), QString("1500"));
        for (int k = 0; k < 3; ++k)
            QCOMPARE(panel.text(k, Box::FormationVoltage), QString("300"));
        QCOMPARE(m_bench->prompter.texts().last(),
                 QString::fromUtf8("VF值1500不在化成电压的允许范围1～1000 V之内，"
                                   "通道1-3的化成电压未改动。"));

        page.grid().setEntry(PieceQuantity::SpecificCapacitance, 1, "2.5");
        page.grid().setEntry(PieceQuantity::Pull, 3, "41");
        page.grid().setCell(5, 4, "85"); // 2', tested but never uploaded
        page.savePieces();
        QCOMPARE(m_bench->prompter.texts().last(),
                 QString::fromUtf8("第2'片在工厂数据库中没有记录，比容等未保存\n"
                                   "第1片已保存：比容 2.5，折弯 空，抗拉 空\n"
                                   "第2片已保存：比容 空，折弯 空，抗拉 空\n"
                                   "第3片已保存：比容 空，折弯 空，抗拉 41"));
        QCOMPARE(m_server.rowsOf("Part_Parameter", Serial), 3);
        page.grid().setCell(5, 4, "");
        page.savePieces();
        QVERIFY(m_bench->prompter.texts().last().startsWith(
            QString::fromUtf8("部分参数保存完毕!\n第1片已保存")));
        page.resetPieceGrid();
        page.savePieces();
        QVERIFY(
            m_bench->prompter.texts().last().startsWith(QString::fromUtf8("没有可保存的单片参数")));
    }

    // Foil T7A opened with all its whole-roll data, then the grid set-up of a start of
    // channels 1-3 empties five boxes: its pieces keep every value the plant holds, and the
    // first question says what changes. Channel 1's number moved to another foil: the page
    // shows none of T7A's values, and that foil's row stays as the lab entered it.
    void wholeRollDataStaysWithItsSerial() {
        PlantPage& page = m_bench->page;
        PanelModel& panel = m_bench->panel;
        const FoilRecords foils(m_server.source);
        FoilRecord x{Serial, "H3A-520", "200", "1200", "1.52", "31.5", "IQ77", "L3", "0"};
        const FoilRecord y{"Y2", "B-7", "300", "900", "2.5", "12", "IQ9", "L1", "4"};
        QVERIFY(foils.save(x, QDate(2024, 1, 2)).ok() && foils.save(y, QDate(2024, 1, 2)).ok());
        QVERIFY(page.openFoil());
        page.resetPieceGrid();
        page.typeText(FoilBox::Joints, "1");
        QCOMPARE(uploadGroup().uploaded, QList<int>({1, 2, 3}));
        x.joints = "1";
        QCOMPARE(foils.open(Serial).value.foil, std::optional(x));
        QCOMPARE(m_bench->prompter.texts().first(),
                 QString::fromUtf8("第1片数据是否保存?（卷号 T7A）\n"
                                   "将写入卷号 T7A 的整卷记录：接头数 0→1。"));

        panel.setText(0, Box::TvTestNumber, y.serial);
        QCOMPARE(page.record(), (FoilRecord{y.serial, {}, {}, {}, {}, {}, {}, {}, {}}));
        const PlantUploadResult other = uploadGroup();
        panel.setText(0, Box::TvTestNumber, Serial);
        QCOMPARE(other.uploaded, QList<int>({1, 2, 3}));
        QCOMPARE(foils.open(y.serial).value.foil, std::optional(y));
        QVERIFY(m_bench->prompter.texts().first().endsWith(
            QString::fromUtf8("\n工厂数据库中卷号 Y2 的整卷记录不变。")));
        QCOMPARE(page.text(FoilBox::Grade), x.grade); // back with its serial
    }
};

QTEST_MAIN(PlantPageTest)
#include "tst_plantpage.moc"
