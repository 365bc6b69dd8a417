// The plant page's widgets: typing both ways, the grid, and a pick list that closes again
// when the database cannot be reached.
#include "app/PlantPageWidget.h"
#include "shell/ScriptedPrompter.h"
#include "station/Station.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

class PlantPageWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void widgetsFollowThePage() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        Station station(dir.filePath("q7rk.ini"), prompter);
        station.startUp();
        PlantPage& page = station.plant();
        page.setSource(PlantSource("nowhere"), dir.filePath("queue.db"));
        PlantPageWidget widget(page);
        widget.show();

        auto* serial = widget.findChild<QLineEdit*>("txtWhole");
        QVERIFY(serial);
        serial->clear();
        QTest::keyClicks(serial, "h3a");
        QCOMPARE(page.text(FoilBox::Serial), QString("H3A"));
        page.setText(FoilBox::Weight, "12");
        QCOMPARE(widget.box(FoilBox::Weight)->text(), QString("12"));

        QTableWidget* grid = widget.findChild<QTableWidget*>("Grid2");
        QTest::keyClicks(widget.findChild<QLineEdit*>("Cap2"), "1.23456");
        QCOMPARE(grid->item(2, 1)->text(), QString("1.235"));
        page.tabinit();
        QCOMPARE(grid->item(2, 1)->text(), QString());

        QTest::mouseDClick(serial, Qt::LeftButton);
        QVERIFY(prompter.texts().last().contains("nowhere"));
        QVERIFY(!widget.findChild<QListWidget*>("List1")->isVisible());
        QVERIFY(serial->isVisible());
    }
};

QTEST_MAIN(PlantPageWidgetTest)
#include "tst_plantpagewidget.moc"
