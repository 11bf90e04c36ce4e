#include "server/object_catalog.h"

#include <QSet>
#include <algorithm>

#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_objects_14.h"
#include "server/table_dedur_settings_14.h"

namespace {

struct Setting {
    int type = 0;
    QString key;
};

// The fields of the objects table's row, without channels or place.
CatalogObject ReadObject(Table_Dedur_Objects *table, int row, int id) {
    CatalogObject object;
    object.id = id;
    object.row = row;
    object.parentId = table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT"));
    object.typeId = table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_TYPE"));
    object.order = table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ORDER"));
    object.inRegulation = table->GetFieldValueBool(row, QStringLiteral("DEDUR_OBJ_IN_REGULATION"));
    object.name = table->GetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME"));
    return object;
}

} // namespace

QString ObjectCatalog::SortKey(int order) {
    return QString::number(order).rightJustified(9, QLatin1Char('0'));
}

ObjectCatalog ObjectCatalog::Build(DB *db) {
    ObjectCatalog catalog;
    Table_Dedur_Objects *table = db ? db->tableDedurObjects : nullptr;
    if (!table)
        return catalog;

    const int count = table->GetRecordCount();
    catalog.objects.reserve(count);
    for (int row = 0; row < count; ++row) {
        const int id = table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ID"));
        if (catalog.indexOfId.contains(id)) {
            ++catalog.duplicates;
            continue;
        }
        catalog.indexOfId.insert(id, catalog.objects.size());
        catalog.objects.append(ReadObject(table, row, id));
    }

    // Settings by id and by (type, key); the first row of a repeated one wins, as in the tables' lookups.
    QHash<int, Setting> settings;
    QHash<QPair<int, QString>, int> settingIds;
    if (Table_Dedur_Settings *s = db->tableDedurSettings) {
        for (int row = s->GetRecordCount() - 1; row >= 0; --row) {
            const Setting setting{s->GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_TYPE")),
                                  s->GetFieldValueString(row, QStringLiteral("DEDUR_SETTINGS_KEY"))};
            const int id = s->GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_ID"));
            settings.insert(id, setting);
            settingIds.insert(qMakePair(setting.type, setting.key), id);
        }
    }
    // The data row of each (object, setting); the first row of a pair wins.
    QHash<qint64, int> dataRows;
    Table_Dedur_Data *data = db->tableDedurData;
    if (data) {
        for (int row = data->GetRecordCount() - 1; row >= 0; --row)
            dataRows.insert((qint64(data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_OBJ"))) << 32) |
                                quint32(data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS"))),
                            row);
        for (auto it = dataRows.constBegin(); it != dataRows.constEnd(); ++it) {
            const auto object = catalog.indexOfId.constFind(int(it.key() >> 32));
            const auto setting = settings.constFind(int(quint32(it.key())));
            if (object == catalog.indexOfId.constEnd() || setting == settings.constEnd() ||
                setting->type != catalog.objects[*object].typeId)
                continue;
            catalog.objects[*object].passport.insert(
                setting->key, data->GetFieldValueString(it.value(), QStringLiteral("DEDUR_DATA_VALUE")));
        }
    }
    auto channel = [&](const CatalogObject &object, const char *key) {
        CatalogChannel c;
        const int settingId = settingIds.value(qMakePair(object.typeId, QString::fromLatin1(key)), -1);
        const int row =
            settingId < 0 || !data ? -1 : dataRows.value((qint64(object.id) << 32) | quint32(settingId), -1);
        const QString value = row < 0 ? QString() : data->GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE"));
        if (!value.isEmpty()) {
            c.archiveId = data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ARCH"));
            c.measureId = value.toInt(nullptr, 10);
        }
        return c;
    };
    for (CatalogObject &object : catalog.objects) {
        object.frequency = channel(object, "Freq");
        object.power = channel(object, "Power");
        object.calc = channel(object, "DedurCalcResult");
    }

    // Children in their display order.
    QVector<int> sorted;
    sorted.reserve(catalog.objects.size());
    for (const CatalogObject &object : qAsConst(catalog.objects))
        sorted.append(object.id);
    // The tree's order is that of the keys' texts; each key is made once, not at every comparison.
    QHash<int, QString> keyOf;
    for (const CatalogObject &object : qAsConst(catalog.objects))
        keyOf.insert(object.id, SortKey(object.order));
    const auto byKey = [&keyOf](int a, int b) { return keyOf[a] < keyOf[b]; };
    std::stable_sort(sorted.begin(), sorted.end(), byKey);
    for (int id : qAsConst(sorted))
        catalog.childIds[catalog.Find(id)->parentId].append(id);

    for (int id : catalog.childIds.value(0))
        catalog.Place(id, &catalog.topLevel);
    // Objects whose parent is not in the table are shown apart instead of vanishing.
    for (int id : qAsConst(sorted)) {
        const int parentId = catalog.Find(id)->parentId;
        if (parentId != 0 && !catalog.indexOfId.contains(parentId) && !catalog.placed.contains(id))
            catalog.Place(id, &catalog.orphans);
    }
    // What is left hangs below a parent cycle; each cycle is shown once, from its first member in the table.
    for (const CatalogObject &object : qAsConst(catalog.objects)) {
        if (catalog.placed.contains(object.id))
            continue;
        QHash<int, int> step;
        int current = object.id;
        while (!step.contains(current)) {
            step.insert(current, step.size());
            current = catalog.Find(current)->parentId;
        }
        int first = current;
        for (int member = catalog.Find(current)->parentId; member != current; member = catalog.Find(member)->parentId)
            if (catalog.Find(member)->row < catalog.Find(first)->row)
                first = member;
        catalog.Place(first, &catalog.topLevel);
    }
    // The top level in display order, as the tree sorts it.
    std::stable_sort(catalog.topLevel.begin(), catalog.topLevel.end(), byKey);
    catalog.stations = catalog.FindStations();
    return catalog;
}

QVector<int> ObjectCatalog::ChildrenInTable(DB *db, int parentId) {
    QVector<int> ids;
    Table_Dedur_Objects *table = db ? db->tableDedurObjects : nullptr;
    const int count = table ? table->GetRecordCount() : 0;
    for (int row = 0; row < count; ++row) {
        if (table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT")) == parentId)
            ids.append(table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ID")));
    }
    return ids;
}

bool ObjectCatalog::InParentCycle(DB *db, int id) {
    Table_Dedur_Objects *table = db ? db->tableDedurObjects : nullptr;
    if (!table)
        return false;
    QSet<int> seen;
    int current = id;
    while (current != 0) {
        if (seen.contains(current))
            return true;
        seen.insert(current);
        const int row = table->FindRecordIndexByIntValue("DEDUR_OBJ_ID", current);
        if (row < 0)
            return false;
        current = table->GetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT"));
    }
    return false;
}

bool ObjectCatalog::ReadOne(DB *db, int id, CatalogObject *object) {
    Table_Dedur_Objects *table = db ? db->tableDedurObjects : nullptr;
    const int row = table ? table->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id) : -1;
    if (row < 0)
        return false;
    *object = ReadObject(table, row, id);
    if (!db->tableDedurSettings || !db->tableDedurData)
        return true;
    auto channel = [&](const char *key) {
        CatalogChannel c;
        const int settingId = db->tableDedurSettings->GetSettingIdByName(object->typeId, QString::fromLatin1(key));
        c.measureId = db->tableDedurData->GetObjectSettingDataValueInt(id, settingId, &c.archiveId);
        return c;
    };
    object->frequency = channel("Freq");
    object->power = channel("Power");
    object->calc = channel("DedurCalcResult");
    return true;
}

const CatalogObject *ObjectCatalog::Find(int id) const {
    const auto it = indexOfId.constFind(id);
    return it == indexOfId.constEnd() ? nullptr : &objects[*it];
}

void ObjectCatalog::Place(int rootId, QVector<int> *into) {
    // Breadth first, without recursion: a long chain cannot overflow the stack.
    into->append(rootId);
    QVector<int> queue{rootId};
    placed.insert(rootId, true);
    for (int i = 0; i < queue.size(); ++i) {
        const int id = queue[i];
        // 0 is "no parent": the objects listed under it are the top level, not an object's children.
        if (id == 0)
            continue;
        CatalogObject &object = objects[indexOfId.value(id)];
        for (int child : childIds.value(id)) {
            if (placed.contains(child))
                continue;
            placed.insert(child, true);
            object.shownChildren.append(child);
            queue.append(child);
        }
    }
}

QVector<int> ObjectCatalog::ShownOrder() const {
    // Breadth first over the shown hierarchy; the orphans' group is a node of the top level, placed by
    // its own order, whose children are the orphans.
    constexpr int kGroup = -1; // an index into the queue that stands for the group
    QVector<int> queue;
    bool groupQueued = orphans.isEmpty();
    for (int id : topLevel) {
        if (!groupQueued && SortKey(OrphansOrder) < SortKey(Find(id)->order)) {
            queue.append(kGroup);
            groupQueued = true;
        }
        queue.append(indexOfId.value(id));
    }
    if (!groupQueued)
        queue.append(kGroup);
    QVector<int> order;
    order.reserve(objects.size());
    for (int i = 0; i < queue.size(); ++i) {
        const QVector<int> &children = queue[i] == kGroup ? orphans : objects[queue[i]].shownChildren;
        for (int child : children)
            queue.append(indexOfId.value(child));
        if (queue[i] != kGroup)
            order.append(objects[queue[i]].id);
    }
    return order;
}

void ObjectCatalog::CollectUnits(const CatalogObject &object, QVector<UnitChannels> *units) const {
    for (int childId : object.shownChildren) {
        const CatalogObject *child = Find(childId);
        if (child->power.Present()) {
            UnitChannels unit;
            unit.name = child->name;
            unit.objectId = child->id;
            unit.powerId = child->power.measureId;
            unit.calcId = child->calc.Present() ? child->calc.measureId : 0;
            auto number = [child](const char *key) {
                bool ok = false;
                const double value = child->passport.value(QString::fromLatin1(key))
                                         .trimmed()
                                         .replace(QLatin1Char(','), QLatin1Char('.'))
                                         .toDouble(&ok);
                return ok && std::isfinite(value) ? value : NAN;
            };
            unit.nominal = number("NominalPower");
            unit.minPower = number("MinPower");
            unit.maxPower = number("MaxPower");
            unit.droop = number("Droop");
            unit.profile = child->passport.value(QStringLiteral("RegimeProfile")).trimmed();
            units->append(unit);
        }
        // A station below a station is listed on its own.
        if (!child->frequency.Present())
            CollectUnits(*child, units);
    }
}

QVector<StationChannels> ObjectCatalog::FindStations() const {
    QVector<StationChannels> stations;
    for (int id : ShownOrder()) {
        const CatalogObject *object = Find(id);
        if (!object->frequency.Present())
            continue;
        StationChannels station;
        station.name = object->name;
        station.objectId = object->id;
        station.frequencyId = object->frequency.measureId;
        CollectUnits(*object, &station.units);
        if (!station.units.isEmpty())
            stations.append(station);
    }
    return stations;
}
