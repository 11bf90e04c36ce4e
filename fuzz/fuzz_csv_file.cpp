// CSV files opened offline: any bytes on disk through the file loader.
#include "csv/csvfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("fuzz.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QString p = path;
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(p);
    for (const auto &row : rows)
        (void)row.dateTime.isValid();
    CsvFile::CsvRow row;
    CsvFile::ParseLine(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &row);
    return 0;
}
