#include "views/objects_tree_widget.h"

#include <QTreeWidget>

ObjectsTreeWidget::ObjectsTreeWidget(QTreeWidget *tree, DB *db, TelemetryPlotWidget *plot, TelemetryTableWidget *table)
    : tree(tree), db(db), plot(plot), table(table), iconInRegulation(new QIcon), iconNotInRegulation(new QIcon)
{
}
ObjectsTreeWidget::~ObjectsTreeWidget()
{
    delete iconInRegulation;
    delete iconNotInRegulation;
}
void ObjectsTreeWidget::ReadObjectsTree(bool) {}
QTreeWidgetItem *ObjectsTreeWidget::AddObjectTreeItem(QTreeWidgetItem *, int, bool) { return nullptr; }
void ObjectsTreeWidget::AddObjectTreeChildren(QTreeWidget *, QTreeWidgetItem *, bool) {}
void ObjectsTreeWidget::ClearObjectsTree() {}
QVector<QTreeWidgetItem *> ObjectsTreeWidget::CollectChildrenItems(QTreeWidgetItem *) { return {}; }
void ObjectsTreeWidget::SetItemCheckboxMode(QTreeWidgetItem *) {}
void ObjectsTreeWidget::UpdateCheckboxesMode(QTreeWidgetItem *) {}
void ObjectsTreeWidget::SetEditMode(bool mode) { editMode = mode; }
void ObjectsTreeWidget::ItemChanged(QTreeWidgetItem *) {}
void ObjectsTreeWidget::CheckAll() {}
void ObjectsTreeWidget::CheckNone() {}
void ObjectsTreeWidget::UncheckTopNodes() {}
QVector<QTreeWidgetItem *> ObjectsTreeWidget::GetSelectedItems(QTreeWidgetItem *) { return {}; }
QString ObjectsTreeWidget::GetSelectedItemsTitle(QTreeWidgetItem *, QString) { return QString(); }
QVector<QTreeWidgetItem *> ObjectsTreeWidget::AddCSVFileTreeNodes(QString, QTreeWidgetItem *, QVector<CsvFile::CsvRow>)
{
    return {};
}
bool ObjectsTreeWidget::DeleteTreeObject(QTreeWidgetItem *) { return false; }
void ObjectsTreeWidget::DisposeDetached() {}
bool ObjectsTreeWidget::IsEffectivelyChecked(const QTreeWidgetItem *) { return false; }
QString ObjectsTreeWidget::SortKey(int order) { return QString::number(order).rightJustified(9, QLatin1Char('0')); }
QString ObjectsTreeWidget::ShortTitle(const QString &title) { return title; }
