#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVector>

// Semicolon-separated telemetry files: "dd.MM.yyyy hh:mm:ss;freq;power" per line.
class CsvFile {
public:
    struct CsvRow {
        QDateTime dateTime; // local time
        double freq = 0.0;
        double power = 0.0;
    };

    // Rows in file order; empty when the file cannot be opened.
    static QVector<CsvRow> LoadFile(QString &path);
    // False when the file cannot be opened for writing; replaces any earlier content.
    static bool WriteTextToFile(QString path, QString text);

    // Rows of a file's whole content, read as LoadFile reads a file; `spec` says how the times are
    // read (our exports write UTC, files of other tools local time).
    static QVector<CsvRow> LoadData(const QByteArray &data, Qt::TimeSpec spec = Qt::LocalTime);

    // Parses one line; false when it has no ";" (such lines are skipped).
    static bool ParseLine(const QByteArray &line, CsvRow *row, Qt::TimeSpec spec = Qt::LocalTime);

    // Registers QVector<CsvFile::CsvRow> under that name so it can travel in item data.
    static void RegisterMetaType();
};

Q_DECLARE_METATYPE(CsvFile::CsvRow)
Q_DECLARE_METATYPE(QVector<CsvFile::CsvRow>)
