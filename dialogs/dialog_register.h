#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <QVector>

#include "analysis/episode_register.h"

namespace Ui {
class DialogRegister;
}
class QTreeWidgetItem;

// The register of judged episodes: filters by station, unit, verdict, mark and period; the engineer's
// mark and comment on an episode (in edit mode); a double-click shows the episode's period on the chart.
class DialogRegister : public QDialog {
    Q_OBJECT

public:
    explicit DialogRegister(QWidget *parent = nullptr);
    ~DialogRegister() override;
    DialogRegister(const DialogRegister &) = delete;
    DialogRegister &operator=(const DialogRegister &) = delete;

    // The register to show (not owned); `user` is who sets marks, empty outside edit mode.
    void SetRegister(EpisodeRegister *reg, const QString &user);
    // Reads the records the filters select.
    void Reload();
    int RecordCount() const { return records.size(); }
    // The month's summary per unit from the register, without what the engineer excluded, into a PDF
    // page or a CSV file by the name's ending; false with the reason in `error`.
    bool WriteMonthSummary(const QDate &month, const QString &path, QString *error);

signals:
    // The span of an episode of `station`, seconds since the epoch, to be shown on the chart.
    void OpenPeriod(double from, double to, QString station);

private slots:
    void on_button_find_clicked();
    void on_button_save_mark_clicked();
    void on_button_summary_clicked();
    void on_tree_records_itemDoubleClicked(QTreeWidgetItem *item, int column);
    void on_tree_records_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

private:
    // The record of a row (itself or its parent); -1 for none.
    int RecordOf(const QTreeWidgetItem *item) const;
    void FillChoices();
    void ShowRecords();

    Ui::DialogRegister *ui;
    EpisodeRegister *reg = nullptr;
    QString user;
    QVector<EpisodeRegister::Record> records;
};
