#include "doublespinboxdelegate.h"

#include "value_cell.h"

#include <QDoubleSpinBox>

DoubleSpinBoxDelegate::DoubleSpinBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *DoubleSpinBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    auto *editor = new QDoubleSpinBox(parent);
    editor->setStyleSheet(QStringLiteral("QDoubleSpinBox { border: 1px solid black; }"));
    editor->setFrame(false);
    // The range must be set before the decimals: each setter rounds what is already there.
    editor->setMinimum(0);
    editor->setMaximum(1000000000);
    editor->setDecimals(2);
    editor->setSingleStep(0.1);
    return editor;
}

void DoubleSpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    static_cast<QDoubleSpinBox *>(editor)->setValue(ReadValueCell(editor, index).toDouble());
}

void DoubleSpinBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    auto *spinBox = static_cast<QDoubleSpinBox *>(editor);
    spinBox->interpretText();
    const double value = spinBox->value();
    WriteValueCell(editor, model, index, value, QString::number(value, 'g', 6));
}

void DoubleSpinBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                 const QModelIndex &) const {
    editor->setGeometry(option.rect);
}
