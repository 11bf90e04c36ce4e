#include "csv/zip_archive.h"

#include <QFile>
#include <limits>
#include <zip.h>

QString ZipArchive::Reason(int code) {
    switch (code) {
    case ZIP_ER_NOZIP:
        return QStringLiteral("файл не является ZIP-архивом");
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        return QStringLiteral("файл не читается");
    case ZIP_ER_MEMORY:
        return QStringLiteral("недостаточно памяти");
    case ZIP_ER_CRC:
        return QStringLiteral("архив повреждён (не сходится контрольная сумма)");
    case ZIP_ER_COMPNOTSUPP:
        return QStringLiteral("метод сжатия не поддерживается");
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return QStringLiteral("файл в архиве зашифрован");
    default:
        return QStringLiteral("архив повреждён");
    }
}

ZipArchive::ZipArchive(const QString &path) {
    int code = 0;
    archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive)
        error = Reason(code);
}

ZipArchive::~ZipArchive() {
    if (archive)
        zip_discard(archive);
}

int ZipArchive::Count() const {
    if (!archive)
        return 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    return count > 0 ? int(qMin<zip_int64_t>(count, 1 << 20)) : 0;
}

QString ZipArchive::Name(int index) const {
    if (!archive || index < 0)
        return QString();
    // Names are UTF-8 when flagged so or when they read as such; libzip converts old code page 437 ones.
    const char *name = zip_get_name(archive, zip_uint64_t(index), ZIP_FL_ENC_GUESS);
    return name ? QString::fromUtf8(name) : QString();
}

qint64 ZipArchive::Size(int index) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (!archive || index < 0 || index >= Count() || zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE))
        return -1;
    return qint64(qMin<zip_uint64_t>(stat.size, zip_uint64_t(std::numeric_limits<qint64>::max())));
}

bool ZipArchive::LooksLikeZip(const QString &path) {
    if (path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == QByteArray("PK\x03\x04", 4) || head == QByteArray("PK\x05\x06", 4);
}
