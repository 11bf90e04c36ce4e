#include "dialog_properties_editor.h"

#include "ui_dialog_properties_editor.h"

#include "delegates/value_cell.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTableWidgetItem>

namespace {

constexpr int kKeyRole = ValueCellKeyRole;
constexpr int kRowHeight = 24;
// Both columns together take this share of the table's width.
constexpr float kColumnsShare = 0.9f;
// Section resizes this soon after a dialog resize are the dialog's own doing, not the user's.
constexpr qint64 kOwnResizeWindowMs = 800;

const QAbstractItemView::EditTriggers kEditTriggers =
    QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
    QAbstractItemView::AnyKeyPressed;

} // namespace

PropertiesEditor::PropertiesEditor(QWidget *parent)
    : QDialog(parent), changed(false), ui(new Ui::PropertiesEditor), firstColumnRatio(0.5f) {
    ui->setupUi(this);
    changed = false;
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    lastResizeTime = QDateTime::currentDateTime();
    connect(ui->tableWidget->horizontalHeader(), &QHeaderView::sectionResized, this, &PropertiesEditor::sectionResized);
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableWidget->verticalHeader()->setMaximumSectionSize(56);
    ui->tableWidget->setWordWrap(true);
    ui->tableWidget->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color:#EEEEEE }"));
    firstColumnRatio = 0.5f;
}

PropertiesEditor::~PropertiesEditor() {
    delete ui;
}

void PropertiesEditor::ClearTable() {
    const QSignalBlocker blocker(ui->tableWidget);
    ui->tableWidget->setRowCount(0);
}

void PropertiesEditor::AddProperty(QString key, QString title, QVariant value, QString text,
                                   QAbstractItemDelegate *delegate, bool readOnly) {
    QTableWidget *table = ui->tableWidget;
    const QSignalBlocker blocker(table);
    const int row = table->rowCount();
    table->insertRow(row);

    auto *titleCell = new QTableWidgetItem(title);
    titleCell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    table->setItem(row, 0, titleCell);

    auto *valueCell = new QTableWidgetItem(text);
    valueCell->setData(Qt::UserRole, value);
    valueCell->setData(kKeyRole, key);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (!readOnly)
        flags |= Qt::ItemIsEditable;
    valueCell->setFlags(flags);
    table->setItem(row, 1, valueCell);

    // Without a delegate the row falls back to the table's default editor (a delegate of an earlier
    // showing may still be registered for this row number).
    table->setItemDelegateForRow(row, delegate);
    table->setRowHeight(row, kRowHeight);
}

void PropertiesEditor::SetEditMode(bool editMode) {
    ui->tableWidget->setEditTriggers(editMode ? kEditTriggers : QAbstractItemView::NoEditTriggers);
    ui->button_save->setVisible(editMode);
    ui->button_cancel->setText(editMode ? QStringLiteral("Отмена") : QStringLiteral("Закрыть"));
}

QMap<QString, QVariant> PropertiesEditor::GetProperties() const {
    QMap<QString, QVariant> properties;
    const QTableWidget *table = ui->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *cell = table->item(row, 1);
        if (cell)
            properties.insert(cell->data(kKeyRole).toString(), cell->data(Qt::UserRole));
    }
    return properties;
}

void PropertiesEditor::resizeEvent(QResizeEvent *) {
    lastResizeTime = QDateTime::currentDateTime();
    QTableWidget *table = ui->tableWidget;
    const QSignalBlocker blocker(table);
    const int width = table->width();
    table->setColumnWidth(0, int(width * firstColumnRatio));
    table->setColumnWidth(1, int(width * (kColumnsShare - firstColumnRatio)));
}

void PropertiesEditor::sectionResized(int logicalIndex, int, int) {
    QTableWidget *table = ui->tableWidget;
    const int width = table->width();
    if (width <= 0)
        return;
    if (lastResizeTime.msecsTo(QDateTime::currentDateTime()) > kOwnResizeWindowMs)
        firstColumnRatio = float(table->columnWidth(0)) / float(width);
    if (logicalIndex == 0) {
        const QSignalBlocker blocker(table);
        table->setColumnWidth(1, int(width * (kColumnsShare - firstColumnRatio)));
    }
}

void PropertiesEditor::on_PropertiesEditor_finished(int) {}

void PropertiesEditor::on_button_save_clicked() {
    QDialog::accept();
}

void PropertiesEditor::on_button_cancel_clicked() {
    reject();
}

void PropertiesEditor::on_tableWidget_cellChanged(int, int) {
    changed = true;
    if (!windowTitle().endsWith(QLatin1Char('*')))
        setWindowTitle(windowTitle() + QStringLiteral(" *"));
}

void PropertiesEditor::reject() {
    if (!changed) {
        QDialog::reject();
        return;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Сохранить изменения?"),
                    QStringLiteral("При закрытии окна сделанные изменения будут потеряны.\nСохранить изменения?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        QDialog::accept();
        break;
    case QMessageBox::No:
        QDialog::reject();
        break;
    default:
        break;
    }
}
