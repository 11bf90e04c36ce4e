#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>

class DB;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class DialogExportCSV;
}

// Writes archived frequency and power of the checked objects for a period into CSV files,
// packed into one ZIP archive per station.
class DialogExportCSV : public QDialog
{
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

public slots:
    void on_pushButton_open_clicked();
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();
    void on_treeWidget_itemChanged(QTreeWidgetItem *item, int column);

private:
    Ui::DialogExportCSV *ui;
    DB *db = nullptr;
};
