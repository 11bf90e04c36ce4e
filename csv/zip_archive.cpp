#include "csv/zip_archive.h"

#include <QFile>
#include <zip.h>

namespace {

QString Reason(int code) {
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

} // namespace

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

bool ZipArchive::Read(int index, QByteArray *data, QString *reason) const {
    data->clear();
    if (!archive || index < 0 || index >= Count()) {
        *reason = QStringLiteral("нет такого файла в архиве");
        return false;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        *reason = Reason(zip_error_code_zip(zip_get_error(archive)));
        return false;
    }
    if (stat.size > zip_uint64_t(MaxMemberSize)) {
        *reason = QStringLiteral("файл слишком велик");
        return false;
    }
    zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (!file) {
        *reason = Reason(zip_error_code_zip(zip_get_error(archive)));
        return false;
    }
    data->resize(int(stat.size));
    zip_int64_t total = 0;
    while (total < zip_int64_t(stat.size)) {
        const zip_int64_t got = zip_fread(file, data->data() + total, stat.size - zip_uint64_t(total));
        if (got <= 0)
            break;
        total += got;
    }
    // The checksum is verified when the whole member has been read; a short or failed read is damage.
    char extra = 0;
    const bool complete = total == zip_int64_t(stat.size) && zip_fread(file, &extra, 1) == 0;
    const int code = zip_error_code_zip(zip_file_get_error(file));
    zip_fclose(file);
    if (!complete || code != ZIP_ER_OK) {
        data->clear();
        *reason = Reason(code == ZIP_ER_OK ? ZIP_ER_INCONS : code);
        return false;
    }
    return true;
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
