#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace q7rk::instrument {

// A pseudo-terminal standing in for the serial port: the program opens the slave side like
// a serial device, we read and write the master side.
class PtyPort : public QObject {
    Q_OBJECT
public:
    explicit PtyPort(QObject* parent = nullptr);
    ~PtyPort() override;

    // Creates the pseudo-terminal and, when linkPath is given, a symbolic link to its slave.
    bool open(const QString& linkPath, QString* error);
    QString slavePath() const { return slavePath_; }
    void write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);

private:
    bool openMaster(QString* error);
    bool openSlave(QString* error);
    bool makeLink(const QString& linkPath, QString* error);
    void readAvailable();

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace q7rk::instrument
