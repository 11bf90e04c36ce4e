#include "csv/csvfile.h"

#include <QFile>
#include <QList>
#include <cctype>
#include <cstring>

namespace {

// A decimal number with a point or a comma; white space around it is ignored, anything else reads as 0.
double ReadNumber(const char *begin, const char *end) {
    while (begin < end && isspace(uchar(*begin)))
        ++begin;
    while (end > begin && isspace(uchar(end[-1])))
        --end;
    char buffer[64];
    const int length = int(end - begin);
    if (length <= 0 || length >= int(sizeof buffer))
        return length <= 0 ? 0.0 : QByteArray(begin, length).replace(',', '.').toDouble();
    for (int i = 0; i < length; ++i)
        buffer[i] = begin[i] == ',' ? '.' : begin[i];
    return QByteArray::fromRawData(buffer, length).toDouble();
}

// Day, month, year, hour, minute, second: pieces separated by " ", ":" or "."; a missing or
// non-numeric piece reads as 0.
void ReadDateNumbers(const char *begin, const char *end, int numbers[6]) {
    int index = 0;
    const char *piece = begin;
    for (const char *p = begin;; ++p) {
        if (p == end || *p == ' ' || *p == ':' || *p == '.') {
            if (index < 6) {
                bool ok = false;
                const int value = QByteArray::fromRawData(piece, int(p - piece)).toInt(&ok);
                numbers[index] = ok ? value : 0;
            }
            ++index;
            piece = p + 1;
            if (p == end || index >= 6)
                break;
        }
    }
}

} // namespace

void CsvFile::RegisterMetaType() {
    qRegisterMetaType<QVector<CsvFile::CsvRow>>("QVector<CsvFile::CsvRow>");
}

bool CsvFile::ParseLine(const QByteArray &rawLine, CsvRow *row, Qt::TimeSpec spec) {
    // Text after a NUL byte is not part of the line.
    const char *begin = rawLine.constData();
    const int nul = rawLine.indexOf('\0');
    const int length = nul >= 0 ? nul : rawLine.size();
    const char *end = begin + length;

    const char *first = static_cast<const char *>(memchr(begin, ';', size_t(length)));
    if (!first)
        return false;
    const char *second = static_cast<const char *>(memchr(first + 1, ';', size_t(end - first - 1)));
    const char *third = second ? static_cast<const char *>(memchr(second + 1, ';', size_t(end - second - 1))) : nullptr;

    int numbers[6] = {0, 0, 0, 0, 0, 0};
    ReadDateNumbers(begin, first, numbers);
    row->dateTime =
        QDateTime(QDate(numbers[2], numbers[1], numbers[0]), QTime(numbers[3], numbers[4], numbers[5]), spec);
    row->freq = ReadNumber(first + 1, second ? second : end);
    row->power = second ? ReadNumber(second + 1, third ? third : end) : 0.0;
    return true;
}

QVector<CsvFile::CsvRow> CsvFile::LoadFile(QString &path) {
    RegisterMetaType();
    QVector<CsvRow> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;

    rows.reserve(int(qMin<qint64>(file.size() / 24 + 1, 1 << 22)));
    CsvRow row;
    while (!file.atEnd()) {
        if (ParseLine(file.readLine(), &row))
            rows.append(row);
    }
    file.close();
    return rows;
}

QVector<CsvFile::CsvRow> CsvFile::LoadData(const QByteArray &data, Qt::TimeSpec spec) {
    RegisterMetaType();
    QVector<CsvRow> rows;
    CsvRow row;
    int start = 0;
    while (start < data.size()) {
        int end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        if (ParseLine(QByteArray::fromRawData(data.constData() + start, end - start), &row, spec))
            rows.append(row);
        start = end + 1;
    }
    return rows;
}

bool CsvFile::WriteTextToFile(QString path, QString text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    file.write(text.toLocal8Bit());
    file.close();
    return true;
}
