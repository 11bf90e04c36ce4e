#pragma once

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QTreeWidgetItem>
#include <QVector>
#include <memory>

#include "csv/csvfile.h"
#include "server/object_catalog.h"

class DB;
class PropertiesEditor;
class QTreeWidget;
class TelemetryPlotWidget;
class TelemetryTableWidget;

// Kinds of the objects tree's nodes (QTreeWidgetItem::type()).
enum TreeItemType : int {
    ObjectItem = 1000,
    FreqItem = 1001,
    PowerItem = 1002,
    CalcPowerItem = 1003,
    CsvFileItem = 1005,
    CsvFreqItem = 1006,
    CsvPowerItem = 1007,
};

// Item data roles; every datum of a node lives in column 1.
enum TreeItemRole : int {
    ObjectIdRole = 256,
    ObjectTypeRole = 257,
    InRegulationRole = 258,
    OrderRole = 259,
    MeasureIdRole = 260,
    ArchiveTableRole = 261,
    CalculatedRole = 262,
    GraphRole = 263,
    ViolationGraphRole = 264,
    ValueTagRole = 265,
    UnitRole = 266,
    TableColumnRole = 268,
    FilePathRole = 269,
    CsvRowsRole = 270,
};

// Column of a node that holds its sort key and all of its item data.
constexpr int TreeDataColumn = 1;

inline bool IsObjectChannel(int type) {
    return type == FreqItem || type == PowerItem || type == CalcPowerItem;
}
inline bool IsFileChannel(int type) {
    return type == CsvFreqItem || type == CsvPowerItem;
}
inline bool IsChannel(int type) {
    return IsObjectChannel(type) || IsFileChannel(type);
}

// Object addresses are kept in item data as unsigned 64-bit integers, 0 = none.
inline quint64 ItemPointerValue(const QTreeWidgetItem *item, int role) {
    return item ? item->data(TreeDataColumn, role).toULongLong() : 0;
}
template <typename T> T *ItemPointer(const QTreeWidgetItem *item, int role) {
    return reinterpret_cast<T *>(static_cast<quintptr>(ItemPointerValue(item, role)));
}
inline void SetItemPointer(QTreeWidgetItem *item, int role, const void *pointer) {
    item->setData(TreeDataColumn, role, QVariant::fromValue<quint64>(reinterpret_cast<quintptr>(pointer)));
}

// Drives the main window's objects tree: ОПРЧ objects with their channels and opened CSV files.
// The check boxes decide what the plot draws and the table lists.
class ObjectsTreeWidget {
public:
    ObjectsTreeWidget(QTreeWidget *tree, DB *db, TelemetryPlotWidget *plot, TelemetryTableWidget *table);
    ObjectsTreeWidget(const ObjectsTreeWidget &) = delete;
    ObjectsTreeWidget &operator=(const ObjectsTreeWidget &) = delete;
    ~ObjectsTreeWidget();

    void ReadObjectsTree(bool withChannels);
    QTreeWidgetItem *AddObjectTreeItem(QTreeWidgetItem *parent, int id, bool withChannels);
    void AddObjectTreeChildren(QTreeWidget *treeWidget, QTreeWidgetItem *parent, bool withChannels);
    void ClearObjectsTree();
    QVector<QTreeWidgetItem *> CollectChildrenItems(QTreeWidgetItem *node);

    void SetItemCheckboxMode(QTreeWidgetItem *node);
    void UpdateCheckboxesMode(QTreeWidgetItem *node);
    void SetEditMode(bool mode);
    bool EditMode() const { return editMode; }

    void ItemChanged(QTreeWidgetItem *node);
    void CheckAll();
    void CheckNone();
    void UncheckTopNodes();

    QVector<QTreeWidgetItem *> GetSelectedItems(QTreeWidgetItem *parent);
    QString GetSelectedItemsTitle(QTreeWidgetItem *parent, QString separator);

    QVector<QTreeWidgetItem *> AddCSVFileTreeNodes(QString path, QTreeWidgetItem *parent,
                                                   QVector<CsvFile::CsvRow> rows);
    // Detaches the node; the caller still reads it and hands it to DisposeDetached when done.
    bool DeleteTreeObject(QTreeWidgetItem *node);
    // Deletes nodes detached by DeleteTreeObject or ClearObjectsTree.
    void DisposeDetached();

    // Object creation and editing (objects editor).
    void AddNewObject(QTreeWidgetItem *parent, bool withChannels);
    void EditObject(QTreeWidgetItem *node, bool editable);

    static bool IsEffectivelyChecked(const QTreeWidgetItem *node);
    static QString SortKey(int order);
    // The title shown above the plot: cut to 50 characters plus "..." when longer.
    static QString ShortTitle(const QString &title);
    // Server texts cut for display, and for a tool tip that holds more of them.
    static constexpr int kDisplayLength = 200;
    static constexpr int kToolTipLength = 4000;
    static QString DisplayText(const QString &text);
    static QString ToolTipText(const QString &text);
    // Rows of the objects table skipped by the last rebuild because their id came earlier.
    int DuplicateIds() const { return catalog.DuplicateIds(); }
    // The objects as the tables have them now: the tree's last rebuild, read again after an object
    // command changed the tables.
    const ObjectCatalog &Catalog();

    QTreeWidget *Tree() const { return tree; }
    PropertiesEditor *Editor() const { return editor.get(); }

private:
    void ShowChannel(QTreeWidgetItem *node);
    void HideChannel(QTreeWidgetItem *node);
    QTreeWidgetItem *MakeObjectChannel(QTreeWidgetItem *object, int kind, int measureId, int archiveId);
    QTreeWidgetItem *MakeFileChannel(QTreeWidgetItem *file, int kind, const QVector<CsvFile::CsvRow> &rows);
    void Unlink(QTreeWidgetItem *node);
    bool InParentCycle(int id) const;
    QTreeWidgetItem *MakeObjectNode(QTreeWidgetItem *parent, int id, bool withChannels);
    // The node of an object, added under `parent` (left loose without one).
    QTreeWidgetItem *MakeNode(QTreeWidgetItem *parent, const CatalogObject &object, bool withChannels);

    QTreeWidget *tree;
    DB *db;
    TelemetryPlotWidget *plot;
    TelemetryTableWidget *table;
    // Made on first use by the object commands, which know its type; the tree only owns it.
    std::unique_ptr<PropertiesEditor, void (*)(PropertiesEditor *)> editor{nullptr, nullptr};
    bool editMode = false;
    QIcon *iconInRegulation;
    QIcon *iconNotInRegulation;
    QVector<QTreeWidgetItem *> detached;
    QVector<int> buildPath;    // object ids on the way from the top while building, to stop parent cycles
    ObjectCatalog catalog;     // of the last rebuild
    bool catalogStale = false; // an object command has changed the tables since
};
