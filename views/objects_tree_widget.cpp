#include "views/objects_tree_widget.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>

#include "qcustomplot.h"
#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_objects_14.h"
#include "server/table_dedur_settings_14.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

const char *const FileSortKeyOrder = "65535";

void ClearObjectLinks(QTreeWidgetItem *item) {
    for (int role : {GraphRole, ViolationGraphRole, ValueTagRole})
        item->setData(TreeDataColumn, role, QVariant::fromValue<quint64>(0));
}

// Stable sort by the sort key in column 1: channels (empty key) stay first and in their order.
void SortByKey(QList<QTreeWidgetItem *> &items) {
    std::stable_sort(items.begin(), items.end(), [](const QTreeWidgetItem *a, const QTreeWidgetItem *b) {
        return a->text(TreeDataColumn) < b->text(TreeDataColumn);
    });
}

void SortChildren(QTreeWidgetItem *parent) {
    QList<QTreeWidgetItem *> children = parent->takeChildren();
    SortByKey(children);
    parent->addChildren(children);
}

void DetachItem(QTreeWidget *tree, QTreeWidgetItem *node) {
    if (QTreeWidgetItem *parent = node->parent()) {
        parent->removeChild(node);
    } else if (tree) {
        const int index = tree->indexOfTopLevelItem(node);
        if (index >= 0)
            tree->takeTopLevelItem(index);
    }
}

} // namespace

ObjectsTreeWidget::ObjectsTreeWidget(QTreeWidget *tree, DB *db, TelemetryPlotWidget *plot, TelemetryTableWidget *table)
    : tree(tree), db(db), plot(plot), table(table) {
    CsvFile::RegisterMetaType();
    tree->setColumnWidth(0, 150);
    iconInRegulation = new QIcon(QStringLiteral(":/img/checkbox-02.png"));
    iconNotInRegulation = new QIcon(QStringLiteral(":/img/checkbox-empty-01.png"));
}

ObjectsTreeWidget::~ObjectsTreeWidget() {
    DisposeDetached();
    delete iconInRegulation;
    delete iconNotInRegulation;
}

QString ObjectsTreeWidget::SortKey(int order) {
    return ObjectCatalog::SortKey(order);
}

QString ObjectsTreeWidget::ShortTitle(const QString &title) {
    if (title.size() > 50)
        return title.left(50) + QStringLiteral("...");
    return title;
}

bool ObjectsTreeWidget::IsEffectivelyChecked(const QTreeWidgetItem *node) {
    for (const QTreeWidgetItem *n = node; n; n = n->parent()) {
        if (n->checkState(0) != Qt::Checked)
            return false;
    }
    return node != nullptr;
}

void ObjectsTreeWidget::ReadObjectsTree(bool withChannels) {
    ClearObjectsTree();
    // Nobody reads the nodes detached by earlier deletions or the clearing any more.
    DisposeDetached();
    catalog = ObjectCatalog::Build(db);
    catalogStale = false;
    if (!db || !db->tableDedurObjects)
        return;

    // Built apart from the widget and attached at the end: an item added inside the shown tree costs
    // model updates that grow with its depth.
    QList<QTreeWidgetItem *> top;
    // Places an object with its whole subtree, breadth first: no recursion, so a long chain cannot
    // overflow the stack.
    auto place = [&](QTreeWidgetItem *parent, int rootId) {
        QVector<QPair<QTreeWidgetItem *, int>> queue{{parent, rootId}};
        for (int i = 0; i < queue.size(); ++i) {
            const CatalogObject *object = catalog.Find(queue[i].second);
            QTreeWidgetItem *node = MakeNode(queue[i].first, *object, withChannels);
            if (!queue[i].first)
                top.append(node);
            for (int child : object->shownChildren)
                queue.append({node, child});
        }
    };
    for (int id : catalog.TopLevel())
        place(nullptr, id);
    // Objects whose parent is not in the table are shown apart instead of vanishing.
    if (!catalog.Orphans().isEmpty()) {
        auto *orphans = new QTreeWidgetItem;
        orphans->setText(0, QStringLiteral("Без родителя"));
        // After the objects, before opened files.
        orphans->setText(TreeDataColumn, SortKey(ObjectCatalog::OrphansOrder));
        orphans->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        orphans->setCheckState(0, Qt::Unchecked);
        top.append(orphans);
        for (int id : catalog.Orphans())
            place(orphans, id);
    }

    while (tree->topLevelItemCount() > 0)
        top.append(tree->takeTopLevelItem(0));
    SortByKey(top);
    tree->addTopLevelItems(top);
}

const ObjectCatalog &ObjectsTreeWidget::Catalog() {
    // After an object command the tables have changed under the catalogue; without a session the
    // last one stays, as the tree does.
    if (catalogStale && db && db->tableDedurObjects) {
        catalog = ObjectCatalog::Build(db);
        catalogStale = false;
    }
    return catalog;
}

QString ObjectsTreeWidget::DisplayText(const QString &text) {
    if (text.size() <= kDisplayLength)
        return text;
    return text.left(kDisplayLength) + QStringLiteral("…");
}

QString ObjectsTreeWidget::ToolTipText(const QString &text) {
    if (text.size() <= kToolTipLength)
        return text;
    return text.left(kToolTipLength) + QStringLiteral("…");
}

bool ObjectsTreeWidget::InParentCycle(int id) const {
    return ObjectCatalog::InParentCycle(db, id);
}

void ObjectsTreeWidget::AddObjectTreeChildren(QTreeWidget *, QTreeWidgetItem *parent, bool withChannels) {
    const int parentId = parent ? parent->data(TreeDataColumn, ObjectIdRole).toInt() : 0;
    if (parent && parentId == 0)
        return;
    for (int id : ObjectCatalog::ChildrenInTable(db, parentId)) {
        // An object that is its own ancestor is not followed round its cycle again.
        if (buildPath.contains(id))
            continue;
        AddObjectTreeItem(parent, id, withChannels);
    }
    if (parent)
        SortChildren(parent);
}

QTreeWidgetItem *ObjectsTreeWidget::AddObjectTreeItem(QTreeWidgetItem *parent, int id, bool withChannels) {
    QTreeWidgetItem *node = MakeObjectNode(parent, id, withChannels);
    if (!node)
        return nullptr;
    buildPath.append(id);
    AddObjectTreeChildren(tree, node, withChannels);
    buildPath.removeLast();
    return node;
}

QTreeWidgetItem *ObjectsTreeWidget::MakeObjectNode(QTreeWidgetItem *parent, int id, bool withChannels) {
    CatalogObject object;
    if (!ObjectCatalog::ReadOne(db, id, &object))
        return nullptr;
    catalogStale = true;
    QTreeWidgetItem *node = MakeNode(parent, object, withChannels);
    if (!parent)
        tree->addTopLevelItem(node);
    return node;
}

QTreeWidgetItem *ObjectsTreeWidget::MakeNode(QTreeWidgetItem *parent, const CatalogObject &object, bool withChannels) {
    auto *node = new QTreeWidgetItem(ObjectItem);
    node->setFlags(node->flags() | Qt::ItemIsSelectable);
    node->setCheckState(0, Qt::Unchecked);
    // A server's name can be of any length: the tree shows a sane part, the tool tip more.
    node->setText(0, DisplayText(object.name));
    if (object.name.size() > kDisplayLength)
        node->setToolTip(0, ToolTipText(object.name));
    node->setData(TreeDataColumn, InRegulationRole, object.inRegulation);
    SetItemCheckboxMode(node);

    node->setText(TreeDataColumn, SortKey(object.order));
    node->setData(TreeDataColumn, OrderRole, object.order);
    node->setData(TreeDataColumn, ObjectIdRole, object.id);
    node->setData(TreeDataColumn, ObjectTypeRole, object.typeId);
    ClearObjectLinks(node);

    if (withChannels && db->tableDedurSettings && db->tableDedurData) {
        const std::pair<const CatalogChannel *, int> channels[] = {
            {&object.frequency, FreqItem}, {&object.power, PowerItem}, {&object.calc, CalcPowerItem}};
        for (const auto &channel : channels) {
            if (channel.first->Present())
                node->addChild(
                    MakeObjectChannel(node, channel.second, channel.first->measureId, channel.first->archiveId));
        }
    }
    if (parent)
        parent->addChild(node);
    return node;
}

QTreeWidgetItem *ObjectsTreeWidget::MakeObjectChannel(QTreeWidgetItem *object, int kind, int measureId, int archiveId) {
    auto *channel = new QTreeWidgetItem(kind);
    channel->setFlags(channel->flags() | Qt::ItemIsSelectable);
    channel->setCheckState(0, Qt::Unchecked);
    switch (kind) {
    case FreqItem:
        channel->setText(0, QStringLiteral("Частота, Гц"));
        channel->setData(TreeDataColumn, UnitRole, QStringLiteral("Гц"));
        break;
    case PowerItem:
        channel->setText(0, QStringLiteral("Мощность, МВт"));
        channel->setData(TreeDataColumn, UnitRole, QStringLiteral("МВт"));
        break;
    default:
        channel->setText(0, QStringLiteral("Расч. мощ., МВт"));
        channel->setData(TreeDataColumn, UnitRole, QStringLiteral("МВт"));
        channel->setData(TreeDataColumn, CalculatedRole, true);
        break;
    }
    channel->setData(TreeDataColumn, ObjectIdRole, object->data(TreeDataColumn, ObjectIdRole));
    channel->setData(TreeDataColumn, ObjectTypeRole, object->data(TreeDataColumn, ObjectTypeRole));
    channel->setData(TreeDataColumn, MeasureIdRole, measureId);
    channel->setData(TreeDataColumn, ArchiveTableRole, archiveId);
    ClearObjectLinks(channel);
    SetItemCheckboxMode(channel);
    return channel;
}

void ObjectsTreeWidget::Unlink(QTreeWidgetItem *node) {
    if (table)
        table->RemoveTableColumn(node);
    if (plot)
        plot->RemoveRealtimeGraph(node);
}

void ObjectsTreeWidget::ClearObjectsTree() {
    const QVector<QTreeWidgetItem *> nodes = CollectChildrenItems(nullptr);
    for (QTreeWidgetItem *node : nodes) {
        const int kind = node->type();
        if (kind == CsvFileItem || IsFileChannel(kind))
            continue;
        Unlink(node);
        DetachItem(tree, node);
        detached.append(node);
    }
}

void ObjectsTreeWidget::DisposeDetached() {
    const QVector<QTreeWidgetItem *> nodes = std::exchange(detached, {});
    for (QTreeWidgetItem *node : nodes) {
        // A node can come back into the tree (a failed deletion is retried); only loose nodes go.
        if (node->parent() || (tree && tree->indexOfTopLevelItem(node) >= 0))
            continue;
        for (QTreeWidgetItem *child : CollectChildrenItems(node))
            Unlink(child);
        Unlink(node);
        delete node;
    }
}

QVector<QTreeWidgetItem *> ObjectsTreeWidget::CollectChildrenItems(QTreeWidgetItem *node) {
    QVector<QTreeWidgetItem *> result;
    const int count = node ? node->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *child = node ? node->child(i) : tree->topLevelItem(i);
        result += CollectChildrenItems(child);
        result.append(child);
    }
    return result;
}

void ObjectsTreeWidget::SetItemCheckboxMode(QTreeWidgetItem *node) {
    if (!node)
        return;
    QIcon icon;
    if (editMode) {
        const QVariant inRegulation = node->data(TreeDataColumn, InRegulationRole);
        if (inRegulation.isValid())
            icon = inRegulation.toBool() ? *iconInRegulation : *iconNotInRegulation;
    }
    node->setIcon(0, icon);
    node->setFlags(node->flags() | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
}

void ObjectsTreeWidget::UpdateCheckboxesMode(QTreeWidgetItem *node) {
    const int count = node ? node->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *child = node ? node->child(i) : tree->topLevelItem(i);
        SetItemCheckboxMode(child);
        UpdateCheckboxesMode(child);
    }
}

void ObjectsTreeWidget::SetEditMode(bool mode) {
    editMode = mode;
    UpdateCheckboxesMode(nullptr);
}

void ObjectsTreeWidget::ShowChannel(QTreeWidgetItem *node) {
    const int column = table ? table->AddTableColumn(node) : -1;
    const int kind = node->type();
    if (IsObjectChannel(kind)) {
        if (plot)
            plot->AddRealtimeGraph(node, column);
    } else if (IsFileChannel(kind)) {
        if (auto *graph = ItemPointer<QCPGraph>(node, GraphRole))
            graph->setVisible(true);
        // The table is filled only while it is shown; showing it refills every column.
        if (node->parent() && table && table->IsVisible()) {
            const auto rows = node->parent()->data(TreeDataColumn, CsvRowsRole).value<QVector<CsvFile::CsvRow>>();
            table->FillTableData(TelemetryPlotWidget::CsvSeries(rows, kind), column, false);
        }
    }
}

void ObjectsTreeWidget::HideChannel(QTreeWidgetItem *node) {
    if (table)
        table->RemoveTableColumn(node);
    const int kind = node->type();
    if (IsObjectChannel(kind)) {
        if (plot)
            plot->RemoveRealtimeGraph(node);
    } else if (IsFileChannel(kind)) {
        if (auto *graph = ItemPointer<QCPGraph>(node, GraphRole))
            graph->setVisible(false);
    }
}

void ObjectsTreeWidget::ItemChanged(QTreeWidgetItem *node) {
    if (!node)
        return;
    const QSignalBlocker blocker(tree);
    const bool checked = node->checkState(0) == Qt::Checked;
    QVector<QTreeWidgetItem *> nodes;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (IsEffectivelyChecked(*it) == checked)
            nodes.append(*it);
    }
    for (QTreeWidgetItem *n : qAsConst(nodes)) {
        if (checked)
            ShowChannel(n);
        else
            HideChannel(n);
    }
}

void ObjectsTreeWidget::CheckAll() {
    const QSignalBlocker blocker(tree);
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        (*it)->setCheckState(0, Qt::Checked);
        ShowChannel(*it);
    }
}

void ObjectsTreeWidget::CheckNone() {
    const QSignalBlocker blocker(tree);
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        (*it)->setCheckState(0, Qt::Unchecked);
        HideChannel(*it);
    }
}

void ObjectsTreeWidget::UncheckTopNodes() {
    const QSignalBlocker blocker(tree);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        tree->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        HideChannel(*it);
}

QVector<QTreeWidgetItem *> ObjectsTreeWidget::GetSelectedItems(QTreeWidgetItem *parent) {
    QVector<QTreeWidgetItem *> result;
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *child = parent ? parent->child(i) : tree->topLevelItem(i);
        if (child->checkState(0) == Qt::Unchecked)
            continue;
        result.append(child);
        result += GetSelectedItems(child);
    }
    return result;
}

QString ObjectsTreeWidget::GetSelectedItemsTitle(QTreeWidgetItem *parent, QString separator) {
    QStringList names;
    for (const QTreeWidgetItem *item : GetSelectedItems(parent))
        names.append(item->text(0));
    if (names.isEmpty())
        return QStringLiteral("Объект не выбран");
    return names.join(separator);
}

QTreeWidgetItem *ObjectsTreeWidget::MakeFileChannel(QTreeWidgetItem *file, int kind,
                                                    const QVector<CsvFile::CsvRow> &rows) {
    auto *channel = new QTreeWidgetItem(kind);
    channel->setFlags(channel->flags() | Qt::ItemIsSelectable);
    channel->setCheckState(0, Qt::Checked);
    const bool frequency = kind == CsvFreqItem;
    channel->setText(0, frequency ? QStringLiteral("Частота, Гц") : QStringLiteral("Мощность, МВт"));
    ClearObjectLinks(channel);
    channel->setData(TreeDataColumn, UnitRole, frequency ? QStringLiteral("Гц") : QStringLiteral("МВт"));
    SetItemCheckboxMode(channel);
    file->addChild(channel);
    if (plot)
        plot->AddCSVFileGraph(channel, rows);
    return channel;
}

QVector<QTreeWidgetItem *> ObjectsTreeWidget::AddCSVFileTreeNodes(QString path, QTreeWidgetItem *parent,
                                                                  QVector<CsvFile::CsvRow> rows) {
    const QSignalBlocker blocker(tree);
    auto *file = new QTreeWidgetItem(CsvFileItem);
    file->setFlags(file->flags() | Qt::ItemIsSelectable);
    file->setCheckState(0, Qt::Checked);
    file->setText(0, QFileInfo(path).fileName());
    file->setText(TreeDataColumn, QString::fromLatin1(FileSortKeyOrder).rightJustified(9, QLatin1Char('0')));
    file->setData(TreeDataColumn, FilePathRole, path);
    ClearObjectLinks(file);
    file->setData(TreeDataColumn, CsvRowsRole, QVariant::fromValue(rows));
    SetItemCheckboxMode(file);

    if (parent)
        parent->addChild(file);
    else
        tree->addTopLevelItem(file);
    tree->clearSelection();
    file->setSelected(true);

    MakeFileChannel(file, CsvFreqItem, rows);
    MakeFileChannel(file, CsvPowerItem, rows);
    return {file};
}

bool ObjectsTreeWidget::DeleteTreeObject(QTreeWidgetItem *node) {
    if (!node)
        return false;
    if (node->type() == ObjectItem) {
        const int id = node->data(TreeDataColumn, ObjectIdRole).toInt();
        if (!db || !db->tableDedurData || !db->tableDedurObjects)
            return false;
        catalogStale = true;
        if (!db->tableDedurData->DeleteAllSettingsDataForObject(id))
            return false;
        if (!db->tableDedurObjects->DeleteObject(id))
            return false;
    }
    // Nothing below the node may keep a graph or a column once it leaves the tree.
    for (QTreeWidgetItem *child : CollectChildrenItems(node))
        Unlink(child);
    Unlink(node);
    {
        const QSignalBlocker blocker(tree);
        DetachItem(tree, node);
    }
    if (!detached.contains(node))
        detached.append(node);
    return true;
}
