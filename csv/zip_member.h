#pragma once

#include <QString>

#include "csv/zip_archive.h"

struct zip_file;

// One member of a ZIP archive read in blocks, so that a large member never sits in memory whole.
// It gives at most its stated size and at most `limit` bytes: a member that inflates beyond either
// is damage or a trap, and its read fails.
class ZipMember {
public:
    ZipMember(const ZipArchive &archive, int index, qint64 limit);
    ~ZipMember();
    ZipMember(const ZipMember &) = delete;
    ZipMember &operator=(const ZipMember &) = delete;

    bool IsOpen() const { return file != nullptr; }
    // The size the archive states for the member, unpacked.
    qint64 Size() const { return size; }
    // Up to `max` bytes; 0 at the member's end (after its checksum has been checked), -1 on failure.
    qint64 Read(char *data, qint64 max);
    // Why it could not be opened or read, in Russian; empty while all is well.
    QString Error() const { return error; }

private:
    bool Fail(const QString &reason);

    zip_file *file = nullptr;
    qint64 size = 0;
    qint64 limit = 0;
    qint64 done = 0;
    bool finished = false;
    QString error;
};
