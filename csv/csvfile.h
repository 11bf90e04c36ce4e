#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVector>
#include <functional>

// Semicolon-separated telemetry files: "dd.MM.yyyy hh:mm:ss;freq;power" per line.
class CsvFile {
public:
    struct CsvRow {
        QDateTime dateTime; // local time
        double freq = 0.0;
        double power = 0.0;
    };

    // What a load met besides its rows.
    struct LoadReport {
        int skipped = 0;          // lines that are not "date time;frequency[;power]" with a real date and numbers
        bool cancelled = false;   // the progress callback said stop; no rows are returned
        bool outOfMemory = false; // the rows did not fit in memory; no rows are returned
        bool unreadable = false;  // the file could not be opened or read
        bool header = false;      // the first line names the columns (not counted as skipped)
    };
    // Called between blocks with the bytes read and the file's size; false stops the load.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // Rows in file order; empty when the file cannot be opened. Lines that are not rows are skipped.
    static QVector<CsvRow> LoadFile(QString &path);
    // The same, read block by block with progress and a report, times read as `spec`.
    static QVector<CsvRow> LoadFile(const QString &path, Qt::TimeSpec spec, LoadReport *report,
                                    const Progress &progress = Progress());
    // Hands over up to `max` bytes of the text; 0 at its end, -1 when it cannot be read.
    using ReadBlock = std::function<qint64(char *data, qint64 max)>;
    // The same from any source read in blocks (a member of an archive); `total` is the expected size,
    // for the progress only.
    static QVector<CsvRow> LoadBlocks(const ReadBlock &read, qint64 total, Qt::TimeSpec spec, LoadReport *report,
                                      const Progress &progress = Progress());
    // False when the file cannot be opened or written whole; replaces any earlier content.
    static bool WriteTextToFile(QString path, QString text);

    // Rows of a file's whole content, read as LoadFile reads a file; `spec` says how the times are
    // read (our exports write UTC, files of other tools local time).
    static QVector<CsvRow> LoadData(const QByteArray &data, Qt::TimeSpec spec = Qt::LocalTime);

    // Parses one line; false when it has no ";" (such lines are skipped).
    static bool ParseLine(const QByteArray &line, CsvRow *row, Qt::TimeSpec spec = Qt::LocalTime);

    // One line judged strictly: a row only with a real date and time (years 1970-2100) and numbers
    // that are numbers, so that nothing is drawn at 1970 or in year 99999 that the file did not say.
    enum class LineKind { Row, Blank, Bad };
    static LineKind ReadRow(const char *begin, const char *end, CsvRow *row, Qt::TimeSpec spec);

    // Registers QVector<CsvFile::CsvRow> under that name so it can travel in item data.
    static void RegisterMetaType();
};

Q_DECLARE_METATYPE(CsvFile::CsvRow)
Q_DECLARE_METATYPE(QVector<CsvFile::CsvRow>)
