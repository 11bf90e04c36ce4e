#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "delegates/checkboxdelegate.h"
#include "delegates/comboboxdelegate.h"
#include "delegates/doublespinboxdelegate.h"
#include "delegates/lineeditdelegate.h"
#include "delegates/spinboxdelegate.h"
#include "delegates/ti_ts_comboboxdelegate.h"
#include "dialogs/dialog_properties_editor.h"
#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_objects_14.h"
#include "server/table_dedur_settings_14.h"
#include "server/table_dedur_types_14.h"
#include "server/table_ti_14.h"
#include "server/table_ts_14.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

#include <QMessageBox>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <climits>
#include <memory>

namespace {

const QString kNameKey = QStringLiteral("object_name");
const QString kParentKey = QStringLiteral("parent_id");
const QString kTypeKey = QStringLiteral("object_type");
const QString kInRegulationKey = QStringLiteral("object_in_regulation");
const QString kOrderKey = QStringLiteral("object_order");
const QString kNewObjectName = QStringLiteral("Новый объект");
const QString kEditorTitle = QStringLiteral("Редактор свойств: ");
constexpr qint64 kTableFactor = 1000000;

// The six cell editors of one showing of the passport. They have no parent and die with the
// operation, so rows they served fall back to the table's default editor afterwards.
struct CellEditors {
    std::unique_ptr<LineEditDelegate> lineEdit = std::make_unique<LineEditDelegate>(nullptr);
    std::unique_ptr<SpinBoxDelegate> spinBox = std::make_unique<SpinBoxDelegate>(nullptr);
    std::unique_ptr<DoubleSpinBoxDelegate> doubleSpinBox = std::make_unique<DoubleSpinBoxDelegate>(nullptr);
    std::unique_ptr<CheckBoxDelegate> checkBox = std::make_unique<CheckBoxDelegate>(nullptr);
    std::unique_ptr<ComboBoxDelegate> types = std::make_unique<ComboBoxDelegate>(nullptr);
    std::unique_ptr<TI_TS_ComboBoxDelegate> measurements = std::make_unique<TI_TS_ComboBoxDelegate>(nullptr);
};

struct ObjectFields {
    QString name;
    QString parentName;
    int parentId = 0;
    int type = 0;
    bool inRegulation = true;
    int order = 1;
};

QMap<int, QString> MeasurementList(DB *db) {
    QMap<int, QString> list = db->tableTI->GetList(db->tableIdentifiedObjects);
    const QMap<int, QString> discrete = db->tableTS->GetList(db->tableIdentifiedObjects);
    for (auto it = discrete.cbegin(); it != discrete.cend(); ++it)
        list.insert(it.key(), it.value());
    return list;
}

// Passport rows: the five properties of the object, then one row per setting of its type.
void AddPassportRows(PropertiesEditor *editor, CellEditors &cells, DB *db, const ObjectFields &object, int objectId,
                     const QList<Table_Dedur_Settings::SettingsRecord> &settings,
                     const QMap<int, QString> &measurements) {
    editor->AddProperty(kNameKey, QStringLiteral("Наименование объекта"), object.name, object.name,
                        cells.lineEdit.get(), false);
    editor->AddProperty(kParentKey, QStringLiteral("Родитель"), object.parentName, object.parentName, nullptr, true);
    editor->AddProperty(kTypeKey, QStringLiteral("Тип объекта"), object.type, cells.types->GetNameByValue(object.type),
                        cells.types.get(), false);
    editor->AddProperty(kInRegulationKey, QStringLiteral("Участвует в ОПРЧ"), object.inRegulation,
                        object.inRegulation ? QStringLiteral("Да") : QStringLiteral("Нет"), cells.checkBox.get(),
                        false);
    editor->AddProperty(kOrderKey, QStringLiteral("Порядок"), object.order, QString::number(object.order),
                        cells.spinBox.get(), false);

    for (const Table_Dedur_Settings::SettingsRecord &setting : settings) {
        const QString stored = db->tableDedurData->GetObjectSettingsDataValueString(objectId, setting.id);
        if (setting.datatype == QLatin1String("INT")) {
            const qint64 value = stored.toLongLong();
            editor->AddProperty(setting.key, setting.description, value, QString::number(value), cells.spinBox.get(),
                                false);
        } else if (setting.datatype == QLatin1String("STRING")) {
            editor->AddProperty(setting.key, setting.description, stored, stored, cells.lineEdit.get(), false);
        } else if (setting.datatype == QLatin1String("DOUBLE")) {
            const double value = stored.toDouble();
            editor->AddProperty(setting.key, setting.description, value, QString::number(value),
                                cells.doubleSpinBox.get(), false);
        } else if (setting.datatype == QLatin1String("ARCH")) {
            const qint64 archiveTable = db->tableDedurData->GetObjectSettingsDataArchiveTableId(objectId, setting.id);
            const qint64 reference = stored.toLongLong() + archiveTable * kTableFactor;
            const auto found = reference > INT_MAX ? measurements.cend() : measurements.find(int(reference));
            editor->AddProperty(setting.key, setting.description, reference,
                                found == measurements.cend() ? QString() : found.value(), cells.measurements.get(),
                                false);
        } else {
            editor->AddProperty(setting.key, setting.description, stored, QString(), nullptr, false);
        }
    }
}

QList<Table_Dedur_Data::DataRecord> SettingsRecords(DB *db, int objectId,
                                                    const QList<Table_Dedur_Settings::SettingsRecord> &settings,
                                                    const QMap<QString, QVariant> &properties) {
    QList<Table_Dedur_Data::DataRecord> records;
    for (const Table_Dedur_Settings::SettingsRecord &setting : settings) {
        Table_Dedur_Data::DataRecord record;
        record.id = qMax(0, db->tableDedurData->GetObjectSettingDataId(objectId, setting.id));
        record.objectId = objectId;
        record.settingId = setting.id;
        const QVariant value = properties.value(setting.key);
        record.value = value.toString();
        record.archiveTableId = 0;
        if (setting.datatype == QLatin1String("ARCH")) {
            const qint64 reference = value.toLongLong();
            if (reference > kTableFactor) {
                record.archiveTableId = int(reference / kTableFactor);
                record.value = QString::number(reference - record.archiveTableId * kTableFactor);
            }
        }
        records.append(record);
    }
    return records;
}

QString SettingsTitles(const QList<Table_Dedur_Settings::SettingsRecord> &settings) {
    QStringList titles;
    for (const Table_Dedur_Settings::SettingsRecord &setting : settings)
        titles.append(QStringLiteral("- ") + (setting.description.isEmpty() ? setting.key : setting.description));
    return titles.join(QLatin1Char('\n'));
}

// The object row is on the server by now; its settings may be missing in part or in full.
void WarnSettingsNotSaved(QWidget *parent, const QString &name,
                          const QList<Table_Dedur_Settings::SettingsRecord> &settings) {
    QMessageBox::warning(parent, QStringLiteral("Ошибка"),
                         QStringLiteral("Объект [%1] записан на сервер, но его параметры не сохранены "
                                        "(полностью или частично):\n%2")
                             .arg(name, SettingsTitles(settings)));
}

bool ObjectTablesReady(const DB *db) {
    return db->tableDedurObjects && db->tableDedurTypes && db->tableDedurSettings && db->tableDedurData &&
           db->tableTI && db->tableTS;
}

// Whether a node seen before the modal dialog is still in the tree with the same object id. While the
// dialog runs, a lost connection can rebuild the tree and delete the nodes under our feet.
bool StillInTree(QTreeWidget *tree, const QTreeWidgetItem *node, int id) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (*it == node)
            return node->data(TreeDataColumn, ObjectIdRole).toInt() == id;
    }
    return false;
}

} // namespace

void ObjectsTreeWidget::AddNewObject(QTreeWidgetItem *parent, bool withChannels) {
    if (!ObjectTablesReady(db))
        return;
    ObjectFields object;
    if (parent) {
        object.parentName = parent->text(0);
        object.parentId = parent->data(TreeDataColumn, ObjectIdRole).toInt();
    }
    const int parentType = parent ? parent->data(TreeDataColumn, ObjectTypeRole).toInt() : 0;

    const QMap<int, QString> types = db->tableDedurTypes->GetTypesListByParentType(parentType);
    if (types.isEmpty()) {
        QMessageBox::warning(tree, QStringLiteral("Ошибка"),
                             QStringLiteral("Для объекта [") + object.parentName +
                                 QStringLiteral("] нельзя создавать дочерние элементы!"));
        return;
    }

    if (!editor)
        editor = {new PropertiesEditor(), [](PropertiesEditor *made) { delete made; }};
    CellEditors cells;
    cells.types->SetItemsList(types);
    const QMap<int, QString> measurements = MeasurementList(db);
    cells.measurements->SetItemsList(measurements);

    object.name = kNewObjectName;
    object.type = types.lastKey();
    // The setting rows follow the preselected type even if another type is picked in the dialog.
    const QList<Table_Dedur_Settings::SettingsRecord> settings =
        db->tableDedurSettings->GetSettingListByTypeId(object.type);
    editor->ClearTable();
    AddPassportRows(editor.get(), cells, db, object, 0, settings, measurements);

    editor->setWindowTitle(kEditorTitle + kNewObjectName + QStringLiteral(" (создание)"));
    editor->setModal(true);
    editor->SetEditMode(true);
    editor->changed = false;
    if (editor->exec() != QDialog::Accepted)
        return;
    if (parent && !StillInTree(tree, parent, object.parentId))
        return;
    if (!ObjectTablesReady(db))
        return;

    const QMap<QString, QVariant> properties = editor->GetProperties();
    const QString name = properties.value(kNameKey).toString();
    const int type = properties.value(kTypeKey).toInt();
    const bool inRegulation = properties.value(kInRegulationKey).toBool();
    const int order = properties.value(kOrderKey).toInt();

    catalogStale = true;
    const int newId = db->tableDedurObjects->CreateObject(name, type, object.parentId, inRegulation, order);
    if (newId == 0) {
        db->CloseSessionAfterFailedWrite();
        return;
    }

    if (!db->tableDedurData->UpdateObjectSettingsData(SettingsRecords(db, newId, settings, properties)))
        WarnSettingsNotSaved(tree, name, settings);

    QTreeWidgetItem *node = AddObjectTreeItem(parent, newId, withChannels);
    if (!node)
        return;
    if (parent && parent->treeWidget())
        parent->setExpanded(true);
    node->setExpanded(true);
    tree->clearSelection();
    node->setSelected(true);
}

void ObjectsTreeWidget::EditObject(QTreeWidgetItem *node, bool editable) {
    if (!node || !ObjectTablesReady(db))
        return;
    if (!editor)
        editor = {new PropertiesEditor(), [](PropertiesEditor *made) { delete made; }};
    editor->ClearTable();
    CellEditors cells;
    const QMap<int, QString> measurements = MeasurementList(db);
    cells.measurements->SetItemsList(measurements);

    ObjectFields object;
    object.name = node->text(0);
    object.type = node->data(TreeDataColumn, ObjectTypeRole).toInt();
    const int id = node->data(TreeDataColumn, ObjectIdRole).toInt();
    object.order = node->data(TreeDataColumn, OrderRole).toInt();
    object.inRegulation = node->data(TreeDataColumn, InRegulationRole).toBool();
    int parentType = 0;
    if (QTreeWidgetItem *parent = node->parent()) {
        object.parentName = parent->text(0);
        object.parentId = parent->data(TreeDataColumn, ObjectIdRole).toInt();
        parentType = parent->data(TreeDataColumn, ObjectTypeRole).toInt();
    }
    cells.types->SetItemsList(db->tableDedurTypes->GetTypesListByParentType(parentType));

    const QList<Table_Dedur_Settings::SettingsRecord> settings =
        db->tableDedurSettings->GetSettingListByTypeId(object.type);
    AddPassportRows(editor.get(), cells, db, object, id, settings, measurements);

    editor->setWindowTitle(kEditorTitle + object.name +
                           (editable ? QStringLiteral(" (редактирование)") : QStringLiteral(" (просмотр)")));
    editor->setModal(true);
    editor->SetEditMode(editable);
    editor->changed = false;
    if (editor->exec() != QDialog::Accepted)
        return;
    if (!StillInTree(tree, node, id) || !ObjectTablesReady(db))
        return;

    const QMap<QString, QVariant> properties = editor->GetProperties();
    const QString name = properties.value(kNameKey).toString();
    const int type = properties.value(kTypeKey).toInt();
    const bool inRegulation = properties.value(kInRegulationKey).toBool();
    const int order = properties.value(kOrderKey).toInt();

    catalogStale = true;
    if (!db->tableDedurObjects->UpdateObject(id, name, type, object.parentId, inRegulation, order)) {
        db->CloseSessionAfterFailedWrite();
        return;
    }

    {
        const QSignalBlocker blocker(tree);
        node->setText(0, name);
        node->setData(TreeDataColumn, ObjectTypeRole, type);
        node->setData(TreeDataColumn, ObjectIdRole, id);
        node->setData(TreeDataColumn, OrderRole, order);
        node->setData(TreeDataColumn, InRegulationRole, inRegulation);
    }

    if (!db->tableDedurData->UpdateObjectSettingsData(SettingsRecords(db, id, settings, properties)))
        WarnSettingsNotSaved(tree, name, settings);

    SetItemCheckboxMode(node);
}

void MainWindow::on_action_add_triggered() {
    if (!db.Connected()) {
        QMessageBox::information(this, QStringLiteral("Добавление объекта"),
                                 QStringLiteral("Сначала необходимо подключиться к серверу!"));
        return;
    }
    if (!editMode) {
        QMessageBox::information(this, QStringLiteral("Добавление объекта"),
                                 QStringLiteral("Сначала необходимо включить режим редактирования!"));
        return;
    }
    objectsTree->AddNewObject(ui->tree->currentItem(), true);
}

void MainWindow::on_action_add_top_level_triggered() {
    if (!db.Connected()) {
        QMessageBox::information(this, QStringLiteral("Добавление объекта"),
                                 QStringLiteral("Сначала необходимо подключиться к серверу!"));
        return;
    }
    if (!editMode) {
        QMessageBox::information(this, QStringLiteral("Добавление объекта"),
                                 QStringLiteral("Сначала необходимо включить режим редактирования!"));
        return;
    }
    objectsTree->AddNewObject(nullptr, true);
}

void MainWindow::on_action_change_triggered() {
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (node && node->type() == ObjectItem)
        objectsTree->EditObject(node, editMode);
}

void MainWindow::on_action_passport_triggered() {
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (!node) {
        QMessageBox::information(this, QStringLiteral("Показать паспорт объекта"),
                                 QStringLiteral("Необходимо выбрать объект!"));
        return;
    }
    if (node->type() != ObjectItem) {
        QMessageBox::information(this, QStringLiteral("Показать паспорт объекта"),
                                 QStringLiteral("Смотреть паспорт можно только у объектов!"));
        return;
    }
    objectsTree->EditObject(node, false);
}

void MainWindow::on_action_delete_triggered() {
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (!node) {
        QMessageBox::information(this, QStringLiteral("Информация"),
                                 QStringLiteral("Необходимо выбрать объект для удаления!"));
        return;
    }
    if (node->type() != ObjectItem) {
        QMessageBox::information(this, QStringLiteral("Информация"), QStringLiteral("Удалять можно только объекты!"));
        return;
    }
    const int id = node->data(TreeDataColumn, ObjectIdRole).toInt();
    if (QMessageBox::question(this, QStringLiteral("Удаление"),
                              QStringLiteral("Удалить элемент безвозвратно со всеми дочерними объектами?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!StillInTree(ui->tree, node, id))
        return;

    // Descendants come before their parents, so objects go bottom-up.
    QVector<QTreeWidgetItem *> entries = objectsTree->CollectChildrenItems(node);
    entries.append(node);
    for (QTreeWidgetItem *entry : entries) {
        // A child object that could not be deleted keeps its parent: deleting the parent row would
        // leave the child on the server under a parent that no longer exists.
        bool keepsChildObject = false;
        for (int i = 0; i < entry->childCount() && !keepsChildObject; ++i)
            keepsChildObject = entry->child(i)->type() == ObjectItem;
        if (keepsChildObject)
            continue;
        telemetryTable->RemoveTableColumn(entry);
        telemetryPlot->RemoveRealtimeGraph(entry);
        objectsTree->DeleteTreeObject(entry);
    }
    telemetryPlot->DeleteDefferedGraphs();
    objectsTree->DisposeDetached();
}

void MainWindow::on_tree_itemDoubleClicked(QTreeWidgetItem *, int) {
    on_action_change_triggered();
}
