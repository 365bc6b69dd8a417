#pragma once

#include "plant/UploadQueue.h"

#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace q7rk {

class Station;

// `PlantQueueWindow`, "补传工厂数据": the uploads waiting for the plant database, one row a
// piece (卷号, 片号, when it was queued and last tried, 等待补传 or 需处理, the last error),
// and the operator's passes over them. The station decides whether a pass may run; the page
// runs it on its own thread, and the list follows every change of the queue.
class PlantQueueWindow : public QWidget {
    Q_OBJECT
public:
    explicit PlantQueueWindow(Station& station, QWidget* parent = nullptr);

private:
    void refresh();
    void showRunning();
    std::vector<QueuedUpload> selected() const;

    Station& m_station;
    std::vector<QueuedUpload> m_entries; // the rows, in order
    QString m_listError;                 // why the queue file could not be read
    QTableWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_retryAll = nullptr;
    QPushButton* m_retrySelected = nullptr;
    QPushButton* m_remove = nullptr;
};

} // namespace q7rk
