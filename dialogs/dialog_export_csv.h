#pragma once

#include <QDateTime>
#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>

#include "server/archive_measures_14.h"

class DB;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class DialogExportCSV;
}

// Writes archived frequency and power of the checked objects for a period into CSV files,
// packed into one ZIP archive per station.
class DialogExportCSV : public QDialog {
    Q_OBJECT

public:
    explicit DialogExportCSV(QWidget *parent = nullptr);
    ~DialogExportCSV() override;

    DialogExportCSV(const DialogExportCSV &) = delete;
    DialogExportCSV &operator=(const DialogExportCSV &) = delete;

    void SetPeriod(QDateTime begin, QDateTime end);
    void SetDatabase(DB *db);
    QTreeWidget *GetTreeWidget() const;
    QString GetPath() const;
    QDateTime GetBeginDate() const;
    QDateTime GetEndDate() const;

    bool ExportToCSV();

    // One line per second from begin while both series have samples left and the second is not after end;
    // a sample counts from the second after its time. Times are written in UTC.
    static QString BuildCsvText(const QDateTime &begin, const QDateTime &end, double startFreq, double startPower,
                                const QMap<double, MeasurePoint> &freq, const QMap<double, MeasurePoint> &power);
    static QString CsvFileName(const QString &station, int equipmentNumber, const QDateTime &begin);
    static QString ArchiveName(const QString &station, const QDateTime &begin);
    // Arguments of "zip" for an archive and its files, all named relative to the working folder; a
    // name that begins with "-" (a station called so) is passed as "./name" so zip cannot take it for
    // an option.
    static QStringList ZipArguments(const QString &archive, const QStringList &files);

public slots:
    void on_pushButton_open_clicked();
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();
    void on_treeWidget_itemChanged(QTreeWidgetItem *item, int column);

private:
    QString StationName(QTreeWidgetItem *item) const;
    bool PackStation(const QString &folder, const QString &station, const QStringList &files, const QDateTime &begin);

    Ui::DialogExportCSV *ui;
    DB *db = nullptr;
};
