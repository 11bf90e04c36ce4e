#include "views/objects_tree_widget.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>

#include "dialogs/dialog_properties_editor.h"
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
    editor = new PropertiesEditor();
    tree->setColumnWidth(0, 150);
    iconInRegulation = new QIcon(QStringLiteral(":/img/checkbox-02.png"));
    iconNotInRegulation = new QIcon(QStringLiteral(":/img/checkbox-empty-01.png"));
}

ObjectsTreeWidget::~ObjectsTreeWidget() {
    DisposeDetached();
    delete editor;
    delete iconInRegulation;
    delete iconNotInRegulation;
}

QString ObjectsTreeWidget::SortKey(int order) {
    return QString::number(order).rightJustified(9, QLatin1Char('0'));
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
    placedIds.clear();
    duplicateIds = 0;
    Table_Dedur_Objects *objects = db ? db->tableDedurObjects : nullptr;
    if (!objects)
        return;

    // One pass over the tables builds the lookups, so the tree costs the same whatever its shape.
    const int count = objects->GetRecordCount();
    QHash<int, int> rowOfId;
    QHash<int, int> parentOf;
    QHash<int, QVector<int>> childIds;
    QVector<int> idsInOrder;
    for (int row = 0; row < count; ++row) {
        const int id = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ID"));
        if (rowOfId.contains(id)) {
            ++duplicateIds;
            continue;
        }
        rowOfId.insert(id, row);
        idsInOrder.append(id);
        const int parentId = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT"));
        parentOf.insert(id, parentId);
    }
    // Children come in their display order, so no list is re-sorted afterwards: taking the children
    // of an item back costs a walk of everything below them.
    QVector<int> sorted = idsInOrder;
    QHash<int, QString> keyOf;
    for (int id : idsInOrder)
        keyOf.insert(id, SortKey(objects->GetFieldValueInt(rowOfId.value(id), QStringLiteral("DEDUR_OBJ_ORDER"))));
    std::stable_sort(sorted.begin(), sorted.end(), [&keyOf](int a, int b) { return keyOf[a] < keyOf[b]; });
    for (int id : sorted)
        childIds[parentOf.value(id)].append(id);
    rowIndex = &rowOfId;
    // Built apart from the widget and attached at the end: an item added inside the shown tree costs
    // model updates that grow with its depth.
    QList<QTreeWidgetItem *> top;
    detachedTop = &top;
    QHash<qint64, int> dataRows;
    if (withChannels && db->tableDedurData) {
        Table_Dedur_Data *data = db->tableDedurData;
        for (int row = data->GetRecordCount() - 1; row >= 0; --row) // the first row of a pair wins
            dataRows.insert((qint64(data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_OBJ"))) << 32) |
                                quint32(data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS"))),
                            row);
        dataIndex = &dataRows;
    }

    // Places id with its whole subtree, breadth first: no recursion, so a long chain cannot overflow the stack.
    auto place = [&](QTreeWidgetItem *parent, int rootId) {
        QVector<QPair<QTreeWidgetItem *, int>> queue{{parent, rootId}};
        for (int i = 0; i < queue.size(); ++i) {
            const int id = queue[i].second;
            if (placedIds.contains(id))
                continue;
            QTreeWidgetItem *node = MakeObjectNode(queue[i].first, id, withChannels);
            if (!node)
                continue;
            // 0 is "no parent": the objects listed under it are the top level, not an object's children.
            if (id == 0)
                continue;
            for (int child : childIds.value(id))
                if (!placedIds.contains(child))
                    queue.append({node, child});
        }
    };
    for (int id : childIds.value(0))
        place(nullptr, id);

    // Objects whose parent is not in the table are shown apart instead of vanishing.
    QTreeWidgetItem *orphans = nullptr;
    for (int id : sorted) {
        const int parentId = parentOf.value(id);
        if (parentId == 0 || rowOfId.contains(parentId) || placedIds.contains(id))
            continue;
        if (!orphans) {
            orphans = new QTreeWidgetItem;
            orphans->setText(0, QStringLiteral("Без родителя"));
            // After the objects, before opened files.
            orphans->setText(TreeDataColumn, SortKey(65534));
            orphans->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            orphans->setCheckState(0, Qt::Unchecked);
            top.append(orphans);
        }
        place(orphans, id);
    }

    // What is left hangs below a parent cycle; each cycle is shown once, from its first member in the table.
    for (int id : idsInOrder) {
        if (placedIds.contains(id))
            continue;
        QHash<int, int> step;
        int current = id;
        while (!step.contains(current)) {
            step.insert(current, step.size());
            current = parentOf.value(current);
        }
        int first = current;
        for (int member = parentOf.value(current); member != current; member = parentOf.value(member))
            if (rowOfId.value(member) < rowOfId.value(first))
                first = member;
        place(nullptr, first);
    }
    rowIndex = nullptr;
    dataIndex = nullptr;
    detachedTop = nullptr;

    while (tree->topLevelItemCount() > 0)
        top.append(tree->takeTopLevelItem(0));
    SortByKey(top);
    tree->addTopLevelItems(top);
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
    Table_Dedur_Objects *objects = db->tableDedurObjects;
    QSet<int> seen;
    int current = id;
    while (current != 0) {
        if (seen.contains(current))
            return true;
        seen.insert(current);
        const int row = objects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", current);
        if (row < 0)
            return false;
        current = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT"));
    }
    return false;
}

void ObjectsTreeWidget::AddObjectTreeChildren(QTreeWidget *, QTreeWidgetItem *parent, bool withChannels) {
    Table_Dedur_Objects *objects = db ? db->tableDedurObjects : nullptr;
    if (!objects)
        return;
    const int parentId = parent ? parent->data(TreeDataColumn, ObjectIdRole).toInt() : 0;
    if (parent && parentId == 0)
        return;

    const int count = objects->GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT")) != parentId)
            continue;
        const int id = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ID"));
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
    Table_Dedur_Objects *objects = db ? db->tableDedurObjects : nullptr;
    if (!objects)
        return nullptr;
    const int row = rowIndex ? rowIndex->value(id, -1) : objects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    if (row < 0)
        return nullptr;

    auto *node = new QTreeWidgetItem(ObjectItem);
    node->setFlags(node->flags() | Qt::ItemIsSelectable);
    node->setCheckState(0, Qt::Unchecked);
    // A server's name can be of any length: the tree shows a sane part, the tool tip more.
    const QString name = objects->GetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME"));
    node->setText(0, DisplayText(name));
    if (name.size() > kDisplayLength)
        node->setToolTip(0, ToolTipText(name));
    const int type = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_TYPE"));
    node->setData(TreeDataColumn, InRegulationRole,
                  objects->GetFieldValueBool(row, QStringLiteral("DEDUR_OBJ_IN_REGULATION")));
    SetItemCheckboxMode(node);

    const int order = objects->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ORDER"));
    node->setText(TreeDataColumn, SortKey(order));
    node->setData(TreeDataColumn, OrderRole, order);
    node->setData(TreeDataColumn, ObjectIdRole, id);
    node->setData(TreeDataColumn, ObjectTypeRole, type);
    ClearObjectLinks(node);

    if (withChannels && db->tableDedurSettings && db->tableDedurData) {
        static const struct {
            const char *key;
            int kind;
        } channels[] = {{"Freq", FreqItem}, {"Power", PowerItem}, {"DedurCalcResult", CalcPowerItem}};
        for (const auto &channel : channels) {
            const int settingId = db->tableDedurSettings->GetSettingIdByName(type, QString::fromLatin1(channel.key));
            int archiveId = -1;
            int measureId = -1;
            if (!dataIndex) {
                measureId = db->tableDedurData->GetObjectSettingDataValueInt(id, settingId, &archiveId);
            } else if (settingId >= 0) {
                const int dataRow = dataIndex->value((qint64(id) << 32) | quint32(settingId), -1);
                const QString value =
                    dataRow < 0 ? QString()
                                : db->tableDedurData->GetFieldValueString(dataRow, QStringLiteral("DEDUR_DATA_VALUE"));
                if (!value.isEmpty()) {
                    archiveId = db->tableDedurData->GetFieldValueInt(dataRow, QStringLiteral("DEDUR_DATA_ARCH"));
                    measureId = value.toInt(nullptr, 10);
                }
            }
            if (measureId > 0)
                node->addChild(MakeObjectChannel(node, channel.kind, measureId, archiveId));
        }
    }

    if (parent)
        parent->addChild(node);
    else if (detachedTop)
        detachedTop->append(node);
    else
        tree->addTopLevelItem(node);
    placedIds.insert(id);
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
