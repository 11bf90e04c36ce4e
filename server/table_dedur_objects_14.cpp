#include "server/table_dedur_objects_14.h"

#include <QUuid>

#include "server/db.h"

Table_Dedur_Objects::Table_Dedur_Objects(TLXService *service) : DB_Table(service, QStringLiteral("T_DEDUR_OBJ")) {}

int Table_Dedur_Objects::GetMaxRecordId() {
    return MaxIntValue(QStringLiteral("DEDUR_OBJ_ID"));
}

namespace {

// An object row as written, in the order the server takes its fields.
QVector<QPair<QString, QVariant>> ObjectFields(const QString &keyLink, int id, const QString &name, int typeId,
                                               int parentId, bool inRegulation, int order) {
    return {
        {QStringLiteral("KeyLink"), keyLink},
        {QStringLiteral("DEDUR_OBJ_ID"), id},
        {QStringLiteral("DEDUR_OBJ_NAME"), name},
        {QStringLiteral("DEDUR_OBJ_TYPE"), typeId},
        {QStringLiteral("DEDUR_OBJ_PARENT"), parentId},
        {QStringLiteral("DEDUR_OBJ_ORDER"), order},
        {QStringLiteral("DEDUR_OBJ_IN_REGULATION"), inRegulation},
    };
}

} // namespace

int Table_Dedur_Objects::CreateObject(QString name, int typeId, int parentId, bool inRegulation, int order) {
    const int id = GetMaxRecordId() + 1;
    const bool written = WriteRecord(
        TLR_NEW, ObjectFields(QUuid::createUuid().toString(), id, name, typeId, parentId, inRegulation, order));
    if (!written)
        return 0;
    LoadTable(QString());
    return id;
}

bool Table_Dedur_Objects::UpdateObject(int id, QString name, int typeId, int parentId, bool inRegulation, int order) {
    const int row = FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    if (row < 0)
        return false;
    const bool written = WriteRecord(TLR_CHANGED, ObjectFields(GetFieldValueString(row, QStringLiteral("KeyLink")), id,
                                                               name, typeId, parentId, inRegulation, order));
    if (!written)
        return false;
    UpdateTableRecord(id, name, typeId, parentId, inRegulation, order);
    return id != 0;
}

bool Table_Dedur_Objects::DeleteObject(int id) {
    const int row = FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    if (row < 0)
        return false;
    if (!WriteRecord(TLR_DELETED, {{QStringLiteral("KeyLink"), GetFieldValueString(row, QStringLiteral("KeyLink"))}}))
        return false;
    RemoveOneRecordFromMemory(id);
    return id != 0;
}

void Table_Dedur_Objects::UpdateTableRecord(int id, QString name, int typeId, int parentId, bool inRegulation,
                                            int order) {
    const int row = FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    if (row < 0)
        return;
    SetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME"), name);
    SetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_TYPE"), typeId);
    SetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_PARENT"), parentId);
    SetFieldValueBool(row, QStringLiteral("DEDUR_OBJ_IN_REGULATION"), inRegulation);
    SetFieldValueInt(row, QStringLiteral("DEDUR_OBJ_ORDER"), order);
}

bool Table_Dedur_Objects::RemoveOneRecordFromMemory(int id) {
    const int row = FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    if (row < 0)
        return false;
    TLARecDel(records, TLARec(records, 0, row));
    return true;
}

bool Table_Dedur_Objects::LoadOneRecord(int) {
    emit signal_emitter->NotImplemented(QStringLiteral("LoadOneRecord"));
    return false;
}
