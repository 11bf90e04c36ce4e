#pragma once

#include <QModelIndex>
#include <QTableWidget>
#include <QWidget>

// The setting key of a value cell (the properties editor's rows).
constexpr int ValueCellKeyRole = Qt::UserRole + 1;

// The value cell an editor works on: the editor sits in the table's viewport, whose parent is the
// QTableWidget. Null when the editor was not opened by a QTableWidget, so callers can fall back
// to the model.
inline QTableWidgetItem *ValueCell(const QWidget *editor, const QModelIndex &index) {
    const QWidget *viewport = editor ? editor->parentWidget() : nullptr;
    auto *table = viewport ? qobject_cast<QTableWidget *>(viewport->parentWidget()) : nullptr;
    return table ? table->item(index.row(), index.column()) : nullptr;
}

// Writes a committed value and its text either to the cell or, without one, to the model.
inline void WriteValueCell(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index, const QVariant &value,
                           const QString &text) {
    if (QTableWidgetItem *cell = ValueCell(editor, index)) {
        const bool same = cell->data(Qt::UserRole) == value && cell->text() == text;
        cell->setData(Qt::UserRole, value);
        cell->setText(text);
        // The item stays silent when nothing differs, but a commit still counts as a change.
        if (same && cell->tableWidget())
            emit cell->tableWidget()->cellChanged(cell->row(), cell->column());
        return;
    }
    model->setData(index, value, Qt::UserRole);
    model->setData(index, text, Qt::DisplayRole);
}

inline QVariant ReadValueCell(const QWidget *editor, const QModelIndex &index) {
    if (const QTableWidgetItem *cell = ValueCell(editor, index))
        return cell->data(Qt::UserRole);
    return index.data(Qt::UserRole);
}
