// A pushed message from a peer: the bytes of a parameter record, decoded as the event reader does.
#include "server/db.h"
#include "tlx/tlx_wire.h"

#include <QDateTime>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TLXCliParam *param = tlx::wire::DecodeParam(data, size);
    if (!param)
        return 0;
    const DB::EventMessage m = DB::DecodeEventMessage(param);
    static QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    const QString text = codec->toUnicode(m.caption) + codec->toUnicode(m.comment) + codec->toUnicode(m.data);
    (void)text.indexOf(QChar(0));
    (void)QString::fromUtf8(m.id);
    (void)QDateTime::fromSecsSinceEpoch(qint64(qBound(-1e12, m.dtcp, 1e12)), Qt::LocalTime);
    TLXPrmDestroy(param);
    return 0;
}
