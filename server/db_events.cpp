// Event subscription and reading of the session.
#include "server/db.h"

#include <QDir>
#include <QSettings>
#include <QTextCodec>
#include <cmath>

#include "server/table_event_codes_14.h"
#include "support/settings.h"

namespace {

constexpr int MaxEventsPerCall = 49;
constexpr int CodeAcknowledged = 501;

QString SettingText(QSettings &settings, const char *key) {
    // An unquoted value with commas comes back from an INI file as a list.
    const QVariant value = settings.value(QLatin1String(key));
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QByteArray TextField(TLField *field, TLRecord *record) {
    int length = 0;
    const char *bytes = nullptr;
    if (TLRGetTextRef(field, record, &length, &bytes) != 0 || !bytes || length <= 0)
        return QByteArray();
    return QByteArray(bytes, length);
}

QString Decode(QTextCodec *codec, const QByteArray &bytes) {
    QString text = codec ? codec->toUnicode(bytes) : QString::fromLocal8Bit(bytes);
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QDateTime EventDate(double seconds) {
    if (!std::isfinite(seconds))
        return QDateTime::fromSecsSinceEpoch(0, Qt::LocalTime);
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime);
}

} // namespace

DB::EventMessage DB::DecodeEventMessage(TLXCliParam *param) {
    EventMessage m;
    TLRecord *record = TLXPrmRecord(param);
    const int count = TLXPrmFieldCount(param);
    for (int pos = 0; pos < count; ++pos) {
        const char *name = TLXPrmFieldName(param, pos);
        TLField *field = TLXPrmField(param, pos);
        if (!name || !field)
            continue;
        const QByteArray n(name);
        int32_t i = 0;
        int b = 0;
        double d = 0;
        if (n == "_ID")
            m.id = TextField(field, record);
        else if (n == "_CODE" && TLRGetAsInt32(field, record, &i) == 0)
            m.code = i;
        else if (n == "_DT" && TLRGetAsDouble(field, record, &d) == 0)
            m.dt = d;
        else if (n == "_DTCP" && TLRGetAsDouble(field, record, &d) == 0)
            m.dtcp = d;
        else if (n == "_OBJ")
            m.object = TextField(field, record);
        else if (n == "_CAPTION")
            m.caption = TextField(field, record);
        else if (n == "_COMMENT")
            m.comment = TextField(field, record);
        else if (n == "_DATA")
            m.data = TextField(field, record);
        else if (n == "_USER")
            m.user = TextField(field, record);
        else if (n == "_KWIT" && TLRGetAsBool(field, record, &b) == 0)
            m.kwit = b != 0;
        else if (n == "_KWITUSER")
            m.kwitUser = TextField(field, record);
        else if (n == "_KWITTIME" && TLRGetAsDouble(field, record, &d) == 0)
            m.kwitTime = d;
    }
    return m;
}

QStringList DB::GetEventCodesForSubscribe() {
    QStringList codes = {QStringLiteral("501"), QStringLiteral("601"), QStringLiteral("602"), QStringLiteral("603")};
    const std::unique_ptr<QSettings> settings = Settings::Open();
    const QStringList categories =
        SettingText(*settings, "SUBSCRIBE_EVENT_CATEGORIES").split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString &category : categories) {
        if (!tableEventCodes)
            break;
        for (int code : tableEventCodes->GetAllEventCodesFromCategoryID(category))
            codes.append(QString::number(code));
    }
    codes += SettingText(*settings, "SUBSCRIBE_EVENT_CODES").split(QLatin1Char(','), Qt::KeepEmptyParts);
    codes.removeDuplicates();
    return codes;
}

bool DB::EventsSubscribe() {
    if (!Connected())
        return false;
    QVector<int> codes;
    for (const QString &text : GetEventCodesForSubscribe()) {
        const int code = text.toInt(nullptr, 10);
        if (code != 0)
            codes.append(code);
    }
    return client.SubSet(codes.constData(), codes.size(), "SUB_EVENT");
}

bool DB::ReadEvents() {
    if (!Connected())
        return false;
    TLXCliSes *handle = client.GetHandle();
    for (int taken = 0; taken < MaxEventsPerCall && client.IsConnected(); ++taken) {
        TLXCliParam *param = nullptr;
        if (TLXCliGetMessage(handle, &param, 0) != 0 || !param)
            break;
        const EventMessage m = DecodeEventMessage(param);
        const int kind = TLXPrmKind(param);
        const QString id = QString::fromUtf8(m.id);
        if (kind == TLX_MSG_EVENT && m.code != 601 && m.code != 602 && m.code != 603) {
            const QDateTime date = EventDate(m.dtcp);
            QString text = tableEventCodes ? tableEventCodes->GetEventName(m.code) : QString();
            if (text.isEmpty())
                text = QStringLiteral("Неизвестное событие (код события ") + QString::number(m.code) + ')';
            if (!signal_emitter->signalsBlocked()) {
                if (m.code == CodeAcknowledged) {
                    emit signal_emitter->EventAcknowledged(id);
                    emit signal_emitter->EventAcknowledgedBy(id,
                                                             Decode(codec, m.kwitUser.isEmpty() ? m.user : m.kwitUser),
                                                             m.kwitTime > 0 ? EventDate(m.kwitTime) : date);
                } else
                    emit signal_emitter->EventAcknowledgmentRequired2(m.code, date, text, m.kwit, id,
                                                                      Decode(codec, m.caption) + QStringLiteral(" / ") +
                                                                          Decode(codec, m.comment),
                                                                      Decode(codec, m.data));
            }
        } else if (kind == TLX_MSG_KWIT) {
            if (!signal_emitter->signalsBlocked()) {
                emit signal_emitter->EventAcknowledged(id);
                emit signal_emitter->EventAcknowledgedBy(id, Decode(codec, m.kwitUser),
                                                         m.kwitTime > 0 ? EventDate(m.kwitTime) : QDateTime());
            }
        }
        TLXCliPrmFree(param, handle);
    }
    return true;
}
