#include "dialogs/dialog_export_csv.h"

#include "ui_dialog_export_csv.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTreeWidget>

DialogExportCSV::DialogExportCSV(QWidget *parent) : QDialog(parent), ui(new Ui::DialogExportCSV)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogExportCSV::~DialogExportCSV()
{
    delete ui;
}

void DialogExportCSV::SetPeriod(QDateTime begin, QDateTime end)
{
    ui->begin_date->setDate(begin.date());
    ui->begin_time->setTime(begin.time());
    ui->end_date->setDate(end.date());
    ui->end_time->setTime(end.time());
}

void DialogExportCSV::SetDatabase(DB *database)
{
    db = database;
}

QTreeWidget *DialogExportCSV::GetTreeWidget() const
{
    return ui->treeWidget;
}

QString DialogExportCSV::GetPath() const
{
    return ui->path->text();
}

QDateTime DialogExportCSV::GetBeginDate() const
{
    return QDateTime(ui->begin_date->date(), ui->begin_time->time(), Qt::LocalTime);
}

QDateTime DialogExportCSV::GetEndDate() const
{
    return QDateTime(ui->end_date->date(), ui->end_time->time(), Qt::LocalTime);
}

bool DialogExportCSV::ExportToCSV()
{
    if (!db) {
        QMessageBox::warning(this, "Ошибка", "Не указано подключение к БД!");
        return false;
    }
    return false;
}

void DialogExportCSV::on_pushButton_open_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, "Открыть папку", QDir::currentPath(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!dir.isEmpty())
        ui->path->setText(dir);
}

void DialogExportCSV::on_pushButton_ok_clicked()
{
    if (ui->path->text().isEmpty()) {
        QMessageBox::warning(this, "Путь для экспорта", "Не указан путь для экспорта!");
        return;
    }
    ExportToCSV();
}

void DialogExportCSV::on_pushButton_cancel_clicked()
{
    reject();
}

static void SetDescendantsState(QTreeWidgetItem *item, Qt::CheckState state)
{
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        child->setCheckState(0, state);
        SetDescendantsState(child, state);
    }
}

void DialogExportCSV::on_treeWidget_itemChanged(QTreeWidgetItem *item, int column)
{
    if (!item || column != 0)
        return;
    const QSignalBlocker blocker(ui->treeWidget);
    const Qt::CheckState state = item->checkState(0);
    if (state != Qt::PartiallyChecked)
        SetDescendantsState(item, state);
    for (QTreeWidgetItem *parent = item->parent(); parent; parent = parent->parent()) {
        bool all = true;
        for (int i = 0; i < parent->childCount() && all; ++i)
            all = parent->child(i)->checkState(0) == state;
        parent->setCheckState(0, all ? state : Qt::PartiallyChecked);
    }
}
