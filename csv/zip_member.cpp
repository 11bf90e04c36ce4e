#include "csv/zip_member.h"

#include <zip.h>

ZipMember::ZipMember(const ZipArchive &archive, int index, qint64 limit) : limit(limit) {
    zip_t *handle = archive.archive;
    if (!handle || index < 0 || index >= archive.Count()) {
        error = QStringLiteral("нет такого файла в архиве");
        return;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(handle, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        error = ZipArchive::Reason(zip_error_code_zip(zip_get_error(handle)));
        return;
    }
    if (stat.size > zip_uint64_t(limit)) {
        error = QStringLiteral("файл слишком велик");
        return;
    }
    size = qint64(stat.size);
    file = zip_fopen_index(handle, zip_uint64_t(index), 0);
    if (!file)
        error = ZipArchive::Reason(zip_error_code_zip(zip_get_error(handle)));
}

ZipMember::~ZipMember() {
    if (file)
        zip_fclose(file);
}

bool ZipMember::Fail(const QString &reason) {
    error = reason;
    return false;
}

qint64 ZipMember::Read(char *data, qint64 max) {
    if (!file || !error.isEmpty())
        return -1;
    if (finished)
        return 0;
    // One byte more than is left, so that a member longer than it says is caught here.
    const qint64 wanted = qMin(max, size - done + 1);
    const zip_int64_t got = wanted > 0 ? zip_fread(file, data, zip_uint64_t(wanted)) : 0;
    const int code = zip_error_code_zip(zip_file_get_error(file));
    if (got < 0 || code != ZIP_ER_OK) {
        Fail(ZipArchive::Reason(code == ZIP_ER_OK ? ZIP_ER_INCONS : code));
        return -1;
    }
    if (done + got > size || done + got > limit) {
        Fail(QStringLiteral("файл распаковывается больше, чем указано в архиве"));
        return -1;
    }
    done += got;
    if (got == 0) {
        // The checksum is verified when the whole member has been read; a short member is damage.
        if (done != size) {
            Fail(ZipArchive::Reason(ZIP_ER_INCONS));
            return -1;
        }
        finished = true;
    }
    return got;
}
