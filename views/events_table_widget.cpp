#include "views/events_table_widget.h"

#include "views/objects_tree_widget.h"

#include <algorithm>
#include <iterator>

#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include "server/db.h"

namespace {
const int kColumnWidths[] = {10, 200, 400, 100, 800, 10};
const int kCsvColumn = 5;
const int kValueColumn = 3;

// An acknowledged alarm is told from an informational event by a green check over the event icon.
QIcon *CheckedIcon(const QIcon &base) {
    QPixmap pixmap = base.pixmap(32, 32);
    if (pixmap.isNull()) {
        pixmap = QPixmap(32, 32);
        pixmap.fill(Qt::transparent);
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = pixmap.width(), h = pixmap.height();
    QPainterPath check;
    check.moveTo(w * 0.42, h * 0.68);
    check.lineTo(w * 0.60, h * 0.88);
    check.lineTo(w * 0.96, h * 0.46);
    painter.setPen(QPen(Qt::white, w * 0.22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(check);
    painter.setPen(QPen(QColor(0, 140, 0), w * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(check);
    painter.end();
    return new QIcon(pixmap);
}
} // namespace

EventsTableWidget::EventsTableWidget(QTableWidget *table, DB *db)
    : table(table), db(db), alarmIcon(new QIcon(QStringLiteral(":/img/events-04.png"))),
      quietIcon(new QIcon(QStringLiteral(":/img/events-02.png"))), ackedIcon(CheckedIcon(*quietIcon)),
      csvIcon(new QIcon(QStringLiteral(":/img/export_csv-03.png"))) {
    // Rows fit their contents. The header's own resize-to-contents mode measures every cell of all
    // 1000 rows on each change (about 35 ms a tick on a full table), so a row is fitted once when it
    // is added, and all rows again only when a column changes its width.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(18);
    QObject::connect(table->horizontalHeader(), &QHeaderView::sectionResized, table,
                     [table] { table->resizeRowsToContents(); });
    for (int column = 0; column < int(std::size(kColumnWidths)); ++column)
        table->setColumnWidth(column, kColumnWidths[column]);
    // With a wide system font the time text no longer fits the usual width and would wrap onto a
    // second line; the column grows just enough to keep it on one.
    const int timeWidth = table->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000")) +
                          2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 8;
    table->setColumnWidth(1, std::max(kColumnWidths[1], timeWidth));
    table->setColumnHidden(kValueColumn, true);
}

EventsTableWidget::~EventsTableWidget() {
    delete alarmIcon;
    delete quietIcon;
    delete ackedIcon;
    delete csvIcon;
}

QString EventsTableWidget::TimeText(const QDateTime &time) {
    // Whole seconds only, so the millisecond part is always "000".
    const QDateTime whole = QDateTime::fromSecsSinceEpoch(time.toSecsSinceEpoch(), Qt::LocalTime);
    return whole.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QLatin1Char('.') +
           QStringLiteral("%1").arg(whole.time().msec(), 3, 10, QLatin1Char('0'));
}

QTableWidgetItem *EventsTableWidget::MakeCsvItem() const {
    auto *item = new QTableWidgetItem(*csvIcon, QString());
    item->setToolTip(QStringLiteral("Есть данные для выгрузки в CSV-файл"));
    return item;
}

QString EventsTableWidget::ShownText(const QString &text) {
    // A caption is a line or a few; a server that sends a megabyte must not stall painting.
    // Line ends at the very end hide nothing, so they never make the text count as cut.
    int end = text.size();
    while (end > 0 && (text[end - 1] == QLatin1Char('\n') || text[end - 1] == QLatin1Char('\r')))
        --end;
    int lines = 0;
    int cut = -1;
    for (int i = 0; i < end && i <= ObjectsTreeWidget::kDisplayLength; ++i) {
        if (text[i] == QLatin1Char('\n') && ++lines == kShownLines) {
            cut = i;
            break;
        }
    }
    if (cut >= 0)
        return text.left(cut) + QStringLiteral("…");
    return ObjectsTreeWidget::DisplayText(end == text.size() ? text : text.left(end));
}

void EventsTableWidget::AddEvent(QString key, QDateTime time, QString text, bool ackRequired, QString comment,
                                 double value, QString toolTip, bool hasCsv, QString csvData, int code) {
    const QIcon &icon = ackRequired ? *alarmIcon : *quietIcon;
    const QString timeText = TimeText(time);
    const qint64 seconds = time.toSecsSinceEpoch();
    const QString ackToolTip = ackRequired ? ackRequiredText : ackDoneText;
    const QString shownText = ShownText(text);
    const QString shownComment = ShownText(comment);
    // What was cut is in the tool tip, up to its own limit. A cut text may be as long as the whole
    // one (200 characters and the ellipsis), so it is told by its content.
    const bool textCut = shownText.endsWith(QStringLiteral("…")) && shownText != text;
    const bool commentCut = shownComment.endsWith(QStringLiteral("…")) && shownComment != comment;
    if (textCut || commentCut) {
        QStringList full;
        for (const QString &part : {toolTip, textCut ? text : QString(), commentCut ? comment : QString()})
            if (!part.isEmpty())
                full << part.left(ObjectsTreeWidget::kToolTipLength + 1);
        toolTip = full.join(QLatin1Char('\n'));
    }
    toolTip = ObjectsTreeWidget::ToolTipText(toolTip);

    const auto known = itemsByKey.constFind(key);
    if (known != itemsByKey.constEnd()) {
        QTableWidgetItem *item = known.value();
        const int row = item->row();
        // A repeat of an alarm already acknowledged keeps its mark and who acknowledged it.
        const bool acknowledged = !ackRequired && item->data(AcknowledgedRole).toBool();
        item->setIcon(acknowledged ? *ackedIcon : icon);
        item->setData(KeyRole, key);
        item->setData(CodeRole, code);
        item->setData(CsvDataRole, csvData);
        item->setData(AckRequiredRole, ackRequired);
        item->setData(TimeRole, seconds);
        if (!acknowledged)
            item->setToolTip(ackToolTip);
        for (int column = 1; column <= 4; ++column) {
            if (QTableWidgetItem *cell = table->item(row, column))
                cell->setToolTip(toolTip);
        }
        if (hasCsv && !table->item(row, kCsvColumn))
            table->setItem(row, kCsvColumn, MakeCsvItem());
    } else {
        const int row = table->rowCount();
        table->insertRow(row);
        auto *item = new QTableWidgetItem(icon, QString());
        item->setData(KeyRole, key);
        item->setData(CodeRole, code);
        item->setData(TimeRole, seconds);
        item->setData(AckRequiredRole, ackRequired);
        item->setData(CsvDataRole, csvData);
        item->setToolTip(ackToolTip);
        table->setItem(row, 0, item);
        itemsByKey.insert(key, item);

        const QString texts[] = {timeText, shownText, QString::number(value, 'f', 3), shownComment};
        for (int column = 1; column <= 4; ++column) {
            auto *cell = new QTableWidgetItem(texts[column - 1]);
            cell->setToolTip(toolTip);
            table->setItem(row, column, cell);
        }
        if (hasCsv)
            table->setItem(row, kCsvColumn, MakeCsvItem());
        table->resizeRowToContents(row);
    }

    while (table->rowCount() > MaxRows) {
        if (QTableWidgetItem *oldest = table->item(0, 0)) {
            const QString oldKey = oldest->data(KeyRole).toString();
            // Only forget the key when it still points at the row being dropped.
            if (itemsByKey.value(oldKey) == oldest)
                itemsByKey.remove(oldKey);
        }
        table->removeRow(0);
    }

    ScrollToBottomLater();
}

void EventsTableWidget::ScrollToBottomLater() {
    // Scrolling lays out every row again (their heights follow their contents), so a burst of events
    // scrolls once when control returns to the event loop instead of once per event.
    static const char *const pending = "eventsScrollPending";
    if (table->property(pending).toBool())
        return;
    table->setProperty(pending, true);
    QTimer::singleShot(0, table, [table = table] {
        table->setProperty(pending, false);
        table->scrollToBottom();
    });
}

bool EventsTableWidget::IsAcknowledgmentRequired() const {
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        if (item && item->data(AckRequiredRole).toBool())
            return true;
    }
    return false;
}

void EventsTableWidget::EventAcknowledged(QString key) {
    QTableWidgetItem *item = itemsByKey.value(key);
    if (!item)
        return;
    // Only alarms are acknowledged: the row keeps the mark of one, and who and when follow.
    MarkRow(item);
    if (!item->toolTip().startsWith(AcknowledgedText(QString(), QDateTime())))
        item->setToolTip(AcknowledgedText(QString(), QDateTime()));
}

void EventsTableWidget::MarkRow(QTableWidgetItem *item) const {
    item->setIcon(*ackedIcon);
    item->setData(AckRequiredRole, false);
    item->setData(AcknowledgedRole, true);
}

QString EventsTableWidget::AcknowledgedText(const QString &user, const QDateTime &time) {
    QString text = QStringLiteral("Квитировано");
    if (!user.isEmpty())
        text += QStringLiteral(": ") + user;
    if (time.isValid())
        text += (user.isEmpty() ? QStringLiteral(" ") : QStringLiteral(", ")) +
                time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    return text;
}

void EventsTableWidget::MarkAcknowledged(const QString &key, const QString &user, const QDateTime &time) {
    QTableWidgetItem *item = itemsByKey.value(key);
    if (!item)
        return;
    MarkRow(item);
    item->setToolTip(AcknowledgedText(user, time));
}

bool EventsTableWidget::AcknowledeOneEventByRowIndex(int row, QString, int) {
    QTableWidgetItem *item = table->item(row, 0);
    if (!item)
        return false;
    if (!item->data(AckRequiredRole).toBool())
        return true;

    const QByteArray key = item->data(KeyRole).toString().toUtf8();
    const bool done = db && db->AcknowledeEvent(key.constData(), item->data(CodeRole).toInt());
    if (done) {
        // The tool tip changes only when the server confirms.
        MarkRow(item);
    } else {
        QMessageBox::warning(nullptr, QStringLiteral("Ошибка"), QStringLiteral("Не удалось квитировать событие!"),
                             QMessageBox::Ok);
    }
    return done;
}

bool EventsTableWidget::AcknowledeOneSelectedEvent() {
    const int row = table->currentRow();
    if (row < 0)
        return false;
    return AcknowledeOneEventByRowIndex(row);
}

bool EventsTableWidget::AcknowledeAllEvents() {
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!AcknowledeOneEventByRowIndex(row))
            return false;
    }
    return true;
}

void EventsTableWidget::ClearTableWidget() {
    table->setRowCount(0);
    itemsByKey.clear();
}

QString EventsTableWidget::GetCSVTextFromRow(int row) const {
    const QTableWidgetItem *item = table->item(row, 0);
    return item ? item->data(CsvDataRole).toString() : QString();
}
