#include "spinboxdelegate.h"

#include "value_cell.h"

#include <QSpinBox>

SpinBoxDelegate::SpinBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *SpinBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QSpinBox(parent);
    editor->setStyleSheet(QStringLiteral("QSpinBox { border: 1px solid black; }"));
    editor->setFrame(false);
    editor->setMinimum(0);
    editor->setMaximum(1000000000);
    return editor;
}

void SpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QSpinBox *>(editor)->setValue(ReadValueCell(editor, index).toInt());
}

void SpinBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *spinBox = static_cast<QSpinBox *>(editor);
    // Typed text that was not yet taken over (no Enter pressed) still counts.
    spinBox->interpretText();
    const int value = spinBox->value();
    WriteValueCell(editor, model, index, value, QString::number(value));
}

void SpinBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
