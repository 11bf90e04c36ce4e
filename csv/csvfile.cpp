#include "csv/csvfile.h"

#include <QFile>
#include <QList>

namespace {

double ReadNumber(const QByteArray &part)
{
    QByteArray text = part;
    text.replace(',', '.');
    return text.trimmed().toDouble();
}

} // namespace

void CsvFile::RegisterMetaType()
{
    qRegisterMetaType<QVector<CsvFile::CsvRow>>("QVector<CsvFile::CsvRow>");
}

bool CsvFile::ParseLine(const QByteArray &rawLine, CsvRow *row)
{
    // Text after a NUL byte is not part of the line.
    const int nul = rawLine.indexOf('\0');
    const QByteArray line = nul >= 0 ? rawLine.left(nul) : rawLine;
    const QList<QByteArray> parts = line.split(';');
    if (parts.size() < 2)
        return false;

    QString stamp = QString::fromUtf8(parts.at(0));
    stamp.replace(QLatin1Char(' '), QLatin1Char('.')).replace(QLatin1Char(':'), QLatin1Char('.'));
    const QStringList pieces = stamp.split(QLatin1Char('.'));
    int numbers[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 6 && i < pieces.size(); ++i)
        numbers[i] = pieces.at(i).toInt();

    row->dateTime = QDateTime(QDate(numbers[2], numbers[1], numbers[0]), QTime(numbers[3], numbers[4], numbers[5]),
                              Qt::LocalTime);
    row->freq = ReadNumber(parts.at(1));
    row->power = parts.size() > 2 ? ReadNumber(parts.at(2)) : 0.0;
    return true;
}

QVector<CsvFile::CsvRow> CsvFile::LoadFile(QString &path)
{
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

bool CsvFile::WriteTextToFile(QString path, QString text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    file.write(text.toLocal8Bit());
    file.close();
    return true;
}
