#include "lineeditdelegate.h"

#include "value_cell.h"

#include <QLineEdit>

LineEditDelegate::LineEditDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *LineEditDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    auto *editor = new QLineEdit(parent);
    editor->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; }"));
    return editor;
}

void LineEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    static_cast<QLineEdit *>(editor)->setText(ReadValueCell(editor, index).toString());
}

void LineEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    const QString text = static_cast<QLineEdit *>(editor)->text();
    WriteValueCell(editor, model, index, text, text);
}

void LineEditDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const {
    editor->setGeometry(option.rect);
}
