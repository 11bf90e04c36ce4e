// Rows of the events tab: one row per event key, newest at the bottom, at most 1000 rows.
#pragma once

#include <QDateTime>
#include <QIcon>
#include <QMap>
#include <QString>
#include <Qt>

class DB;
class QTableWidget;
class QTableWidgetItem;

class EventsTableWidget {
public:
    // Data of the column-0 item of every row.
    enum Roles {
        KeyRole = Qt::UserRole,
        CodeRole,
        TimeRole,
        AckRequiredRole,
        CsvDataRole,
        AcknowledgedRole, // an alarm that has been acknowledged: it keeps a mark of its own
    };

    static constexpr int MaxRows = 1000;

    EventsTableWidget(QTableWidget *table, DB *db);
    virtual ~EventsTableWidget();
    EventsTableWidget(const EventsTableWidget &) = delete;
    EventsTableWidget &operator=(const EventsTableWidget &) = delete;

    void AddEvent(QString key, QDateTime time, QString text, bool ackRequired, QString comment, double value,
                  QString toolTip, bool hasCsv, QString csvData, int code);
    bool IsAcknowledgmentRequired() const;
    void EventAcknowledged(QString key);
    // Who acknowledged an alarm and when, as the server's acknowledgement says; shown in its tool tip.
    void MarkAcknowledged(const QString &key, const QString &user, const QDateTime &time);
    static QString AcknowledgedText(const QString &user, const QDateTime &time);
    const QIcon &AcknowledgedIcon() const { return *ackedIcon; }
    bool AcknowledeOneEventByRowIndex(int row, QString = QString(), int = 0);
    bool AcknowledeOneSelectedEvent();
    bool AcknowledeAllEvents();
    void ClearTableWidget();
    QString GetCSVTextFromRow(int row) const;

    // "yyyy-MM-dd hh:mm:ss.000" in local time; the server's times carry whole seconds only.
    static QString TimeText(const QDateTime &time);
    // A caption or comment as its cell shows it: at most kShownLines lines and the objects tree's
    // display length, with "…" where it was cut.
    static constexpr int kShownLines = 10;
    static QString ShownText(const QString &text);

private:
    QTableWidgetItem *MakeCsvItem() const;
    // An alarm acknowledged: no longer pending, and marked as one.
    void MarkRow(QTableWidgetItem *item) const;
    void ScrollToBottomLater();

    QTableWidget *table;
    QMap<QString, QTableWidgetItem *> itemsByKey;
    DB *db;
    const QString ackRequiredText = QStringLiteral("Требуется квитирование");
    const QString ackDoneText = QStringLiteral("Квитирование не требуется");
    QIcon *alarmIcon;
    QIcon *quietIcon;
    QIcon *ackedIcon; // the quiet icon with a check mark
    QIcon *csvIcon;
};
