#include "views/telemetry_table_widget.h"

#include <QTableWidget>

#include "server/archive_measures_14.h"

TelemetryTableWidget::TelemetryTableWidget(QTableWidget *table) : table(table) {}
bool TelemetryTableWidget::IsVisible() const { return visible; }
void TelemetryTableWidget::SetVisible(bool v) { visible = v; }
int TelemetryTableWidget::AddTableColumn(QTreeWidgetItem *) { return -1; }
void TelemetryTableWidget::RemoveTableColumn(QTreeWidgetItem *) {}
void TelemetryTableWidget::RemoveTableColumn(int) {}
int TelemetryTableWidget::GetTableColumIndexByTreeItem(const QTreeWidgetItem *) const { return -1; }
int TelemetryTableWidget::GetTableColumIndexByHeaderItem(QTableWidgetItem *) const { return -1; }
void TelemetryTableWidget::ClearTableWidget() {}
void TelemetryTableWidget::FillTableData(QMap<double, MeasurePoint>, int, bool) {}
QString TelemetryTableWidget::TimeText(double) { return QString(); }
