#include "server/db_table_14.h"

#include <QTextCodec>

#include "server/tlxservice.h"

DB_Table::DB_Table(TLXService *service, QString tableName)
    : tableName(std::move(tableName)), service(service), codec(QTextCodec::codecForName("Windows-1251")) {}

DB_Table::~DB_Table() {
    DeleteTable();
}

bool DB_Table::Connected() const {
    return service && service->IsConnected();
}

bool DB_Table::RunSelect(const QString &sql) {
    ClearTableInMemory();
    records = service->DoSqlRequest(sql.toLocal8Bit().constData());
    return records != nullptr;
}

bool DB_Table::LoadTable(QString filter) {
    if (!Connected())
        return false;
    return RunSelect(QStringLiteral("select * from ") + tableName + filter);
}

void DB_Table::ClearTableInMemory() {
    if (records)
        TLADestroy(records);
    records = nullptr;
}

void DB_Table::DeleteTable() {
    ClearTableInMemory();
}

int DB_Table::GetRecordCount() const {
    return records ? TLARecCount(records) : 0;
}

bool DB_Table::Locate(int row, const QString &field, TLField **f, TLRecord **r) {
    *f = nullptr;
    *r = nullptr;
    if (!records || row < 0 || row >= TLARecCount(records))
        return false;
    TLRecord *record = TLARec(records, 0, row);
    TLField *fld = TLRFldByName(records, field.toUtf8().constData());
    if (!record || !fld)
        return false;
    *f = fld;
    *r = record;
    return true;
}

int DB_Table::GetFieldValueInt(int row, QString field) {
    TLField *f;
    TLRecord *r;
    int32_t value = 0;
    if (!Locate(row, field, &f, &r) || TLRGetAsInt32(f, r, &value) != 0)
        return 0;
    return value;
}

float DB_Table::GetFieldValueFloat(int row, QString field) {
    TLField *f;
    TLRecord *r;
    float value = 0;
    if (!Locate(row, field, &f, &r) || TLRGetAsFloat(f, r, &value) != 0)
        return 0;
    return value;
}

double DB_Table::GetFieldValueDouble(int row, QString field) {
    TLField *f;
    TLRecord *r;
    double value = 0;
    if (!Locate(row, field, &f, &r) || TLRGetAsDouble(f, r, &value) != 0)
        return 0;
    return value;
}

bool DB_Table::GetFieldValueBool(int row, QString field) {
    TLField *f;
    TLRecord *r;
    int value = 0;
    if (!Locate(row, field, &f, &r) || TLRGetAsBool(f, r, &value) != 0)
        return false;
    return value != 0;
}

QString DB_Table::GetFieldValueString(int row, QString field) {
    TLField *f;
    TLRecord *r;
    const char *text = nullptr;
    if (!Locate(row, field, &f, &r) || TLRGetTextPtr(f, r, &text) != 0 || !text)
        return QString();
    QString value = codec ? codec->toUnicode(text) : QString::fromLocal8Bit(text);
    const int nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    return value;
}

bool DB_Table::SetFieldValueInt(int row, QString field, int value) {
    TLField *f;
    TLRecord *r;
    return Locate(row, field, &f, &r) && TLRSetAsInt32(f, r, value) == 0;
}

bool DB_Table::SetFieldValueBool(int row, QString field, bool value) {
    TLField *f;
    TLRecord *r;
    return Locate(row, field, &f, &r) && TLRSetAsBool(f, r, value ? 1 : 0) == 0;
}

bool DB_Table::SetFieldValueString(int row, QString field, QString value) {
    TLField *f;
    TLRecord *r;
    if (!Locate(row, field, &f, &r))
        return false;
    const QByteArray bytes = codec ? codec->fromUnicode(value) : value.toLocal8Bit();
    return TLRSetAsText(f, r, bytes.size(), bytes.constData()) == 0;
}

int DB_Table::FindRecordIndexByIntValue(const char *field, int value) {
    const QString name = QString::fromUtf8(field);
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueInt(row, name) == value)
            return row;
    }
    return -1;
}

int DB_Table::FindRecordIndexByStringValue(const char *field, QString value) {
    const QString name = QString::fromUtf8(field);
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueString(row, name) == value)
            return row;
    }
    return -1;
}

QString DB_Table::QuoteSqlText(const QString &value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return quoted;
}

QMap<int, QString> DB_Table::MeasurementList(int base, const QString &prefix) {
    QMap<int, QString> list;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        const int locId = GetFieldValueInt(row, QStringLiteral("locId"));
        const QString name = GetFieldValueString(row, QStringLiteral("name_"));
        list[base + locId] = prefix + name + QStringLiteral(" (") + QString::number(locId) + ')';
    }
    return list;
}

int DB_Table::MaxIntValue(const QString &field) {
    int max = 0;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row)
        max = qMax(max, GetFieldValueInt(row, field));
    return max;
}

bool DB_Table::WriteRecord(int flag, const QVector<QPair<QString, QVariant>> &fields) {
    if (!Connected() || !records)
        return false;
    TLArray *array = nullptr;
    if (TLACreate(&array, 0) != 0 || !array)
        return false;
    bool ok = false;
    TLRecord *record = nullptr;
    if (TLACopy(array, records, 0) == 0 && (record = TLARecNew(array)) != nullptr) {
        TLRSetFlags(record, flag);
        for (const auto &field : fields) {
            TLField *f = TLRFldByName(array, field.first.toUtf8().constData());
            if (!f)
                continue;
            const QVariant &value = field.second;
            if (value.type() == QVariant::String) {
                const QByteArray bytes = codec->fromUnicode(value.toString());
                TLRSetAsText(f, record, bytes.size(), bytes.constData());
            } else if (value.type() == QVariant::Bool) {
                TLRSetAsBool(f, record, value.toBool() ? 1 : 0);
            } else {
                TLRSetAsInt32(f, record, value.toInt());
            }
            TLRSetUser(f, record, 1);
        }
        if (TLARecPost(array, record) == 0) {
            TLXCliParam *reply = nullptr;
            if (service->SqlUpdate(tableName.toUtf8().constData(), array, &reply) && service->WaitResult(&reply)) {
                int32_t status = -1;
                ok = TLXService::ReplyInt32(reply, 0, &status) && status == 0;
                service->FreeReply(reply);
            }
        }
    }
    TLADestroy(array);
    return ok;
}
