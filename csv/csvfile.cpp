#include "csv/csvfile.h"

#include <QFile>
#include <QList>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>

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

// A whole decimal number with a point or a comma, white space around it allowed; false for anything
// else, and for infinities and NaN.
bool StrictNumber(const char *begin, const char *end, double *value) {
    while (begin < end && isspace(uchar(*begin)))
        ++begin;
    while (end > begin && isspace(uchar(end[-1])))
        --end;
    char buffer[64];
    const ptrdiff_t length = end - begin;
    if (length <= 0 || length >= ptrdiff_t(sizeof buffer))
        return false;
    for (ptrdiff_t i = 0; i < length; ++i)
        buffer[i] = begin[i] == ',' ? '.' : begin[i];
    const char *start = buffer + (buffer[0] == '+');
    const auto [rest, error] = std::from_chars(start, buffer + length, *value);
    return error == std::errc() && rest == buffer + length && std::isfinite(*value);
}

// Day, month, year, then hour, minute, second and a fraction of the second, each piece digits only,
// separated by any of " :./-," as the tools that write such files have it; missing time pieces read
// as 0 and the fraction is kept to the millisecond. False when the date is incomplete or a piece is
// not a number, so that no row lands at a time the file did not say.
bool StrictDate(const char *begin, const char *end, int numbers[7]) {
    while (begin < end && isspace(uchar(*begin)))
        ++begin;
    while (end > begin && isspace(uchar(end[-1])))
        --end;
    auto separator = [](char c) {
        return c == ' ' || c == '\t' || c == ':' || c == '.' || c == '/' || c == '-' || c == ',';
    };
    std::fill(numbers, numbers + 7, 0);
    int index = 0;
    const char *p = begin;
    while (p < end) {
        if (index >= 7)
            return false;
        const char *digits = p;
        int value = 0;
        int scale = 100; // the fraction's digits beyond milliseconds are read and dropped
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            if (index < 6 && p - digits < 6) {
                value = value * 10 + (*p - '0');
            } else if (index == 6) {
                value += (*p - '0') * scale;
                scale /= 10;
            } else {
                return false;
            }
        }
        if (p == digits)
            return false;
        numbers[index++] = value;
        if (p == end)
            break;
        if (!separator(*p))
            return false;
        // Runs of spaces between the date and the time count as one separator.
        const char first = *p++;
        while (p < end && (first == ' ' || first == '\t') && (*p == ' ' || *p == '\t'))
            ++p;
        if (p == end)
            return false;
    }
    return index >= 3;
}

} // namespace

CsvFile::LineKind CsvFile::ReadRow(const char *begin, const char *end, CsvRow *row, Qt::TimeSpec spec) {
    // Text after a NUL byte is not part of the line.
    if (const void *nul = memchr(begin, '\0', size_t(end - begin)))
        end = static_cast<const char *>(nul);
    while (end > begin && (end[-1] == '\r' || end[-1] == '\n'))
        --end;
    const char *p = begin;
    while (p < end && isspace(uchar(*p)))
        ++p;
    if (p == end)
        return LineKind::Blank;
    const char *first = static_cast<const char *>(memchr(begin, ';', size_t(end - begin)));
    if (!first)
        return LineKind::Bad;
    const char *second = static_cast<const char *>(memchr(first + 1, ';', size_t(end - first - 1)));
    const char *third = second ? static_cast<const char *>(memchr(second + 1, ';', size_t(end - second - 1))) : nullptr;

    int n[7];
    if (!StrictDate(begin, first, n) || n[2] < 1970 || n[2] > 2100)
        return LineKind::Bad;
    const QDate date(n[2], n[1], n[0]);
    const QTime time(n[3], n[4], n[5], n[6]);
    if (!date.isValid() || !time.isValid())
        return LineKind::Bad;
    if (!StrictNumber(first + 1, second ? second : end, &row->freq))
        return LineKind::Bad;
    // A missing or empty power reads as 0, as the files of other tools have it.
    row->power = 0.0;
    if (second) {
        const char *powerEnd = third ? third : end;
        const char *q = second + 1;
        while (q < powerEnd && isspace(uchar(*q)))
            ++q;
        if (q < powerEnd && !StrictNumber(second + 1, powerEnd, &row->power))
            return LineKind::Bad;
    }
    row->dateTime = QDateTime(date, time, spec);
    return row->dateTime.isValid() ? LineKind::Row : LineKind::Bad;
}

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
    LoadReport report;
    return LoadFile(path, Qt::LocalTime, &report);
}

namespace {

// Rows of complete lines in [begin, end); a first line that names the columns is not a skipped line.
void ReadLines(const char *begin, const char *end, bool atStart, Qt::TimeSpec spec, QVector<CsvFile::CsvRow> *rows,
               int *skipped, bool *headerSeen) {
    CsvFile::CsvRow row;
    for (const char *line = begin; line < end;) {
        const char *next = static_cast<const char *>(memchr(line, '\n', size_t(end - line)));
        const char *lineEnd = next ? next : end;
        switch (CsvFile::ReadRow(line, lineEnd, &row, spec)) {
        case CsvFile::LineKind::Row:
            rows->append(row);
            break;
        case CsvFile::LineKind::Bad: {
            const bool header =
                atStart && line == begin && std::none_of(line, lineEnd, [](char c) { return c >= '0' && c <= '9'; });
            *skipped += !header;
            *headerSeen = *headerSeen || header;
            break;
        }
        case CsvFile::LineKind::Blank:
            break;
        }
        line = lineEnd + 1;
    }
}

} // namespace

QVector<CsvFile::CsvRow> CsvFile::LoadFile(const QString &path, Qt::TimeSpec spec, LoadReport *report,
                                           const Progress &progress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        RegisterMetaType();
        *report = LoadReport();
        report->unreadable = true;
        return QVector<CsvRow>();
    }
    return LoadBlocks([&file](char *data, qint64 max) { return file.read(data, max); }, file.size(), spec, report,
                      progress);
}

QVector<CsvFile::CsvRow> CsvFile::LoadBlocks(const ReadBlock &read, qint64 total, Qt::TimeSpec spec, LoadReport *report,
                                             const Progress &progress) {
    RegisterMetaType();
    *report = LoadReport();
    QVector<CsvRow> rows;
    // Blocks of a few megabytes: the memory for the text stays small whatever the file's size.
    constexpr qint64 kBlock = qint64(4) << 20;
    QByteArray buffer;
    qint64 done = 0;
    bool atStart = true;
    try {
        rows.reserve(int(qMin<qint64>(total / 24 + 1, 1 << 22)));
        for (;;) {
            if (progress && !progress(done, total)) {
                report->cancelled = true;
                return QVector<CsvRow>();
            }
            const qint64 carried = buffer.size();
            buffer.resize(int(carried + kBlock));
            const qint64 got = read(buffer.data() + carried, kBlock);
            if (got < 0) {
                report->unreadable = true;
                return QVector<CsvRow>();
            }
            buffer.resize(int(carried + got));
            done += got;
            const bool last = got == 0;
            const char *begin = buffer.constData();
            const char *end = begin + buffer.size();
            if (!last) {
                // Only whole lines now; the rest waits for the next block.
                const char *lastNewline = begin + buffer.lastIndexOf('\n') + 1;
                if (lastNewline == begin && buffer.size() < kBlock * 4)
                    continue;
                end = lastNewline > begin ? lastNewline : end;
            }
            ReadLines(begin, end, atStart, spec, &rows, &report->skipped, &report->header);
            atStart = false;
            buffer.remove(0, int(end - begin));
            if (last)
                break;
        }
    } catch (const std::bad_alloc &) {
        report->outOfMemory = true;
        return QVector<CsvRow>();
    }
    if (progress)
        progress(total, total);
    return rows;
}

QVector<CsvFile::CsvRow> CsvFile::LoadData(const QByteArray &data, Qt::TimeSpec spec) {
    RegisterMetaType();
    QVector<CsvRow> rows;
    int skipped = 0;
    bool header = false;
    ReadLines(data.constData(), data.constData() + data.size(), true, spec, &rows, &skipped, &header);
    return rows;
}

bool CsvFile::WriteTextToFile(QString path, QString text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    // A full disk must not pass for a written file.
    const QByteArray bytes = text.toLocal8Bit();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}
