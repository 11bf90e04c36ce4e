#include "spinboxdelegate.h"

#include "value_cell.h"

#include <QSpinBox>

SpinBoxDelegate::SpinBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *SpinBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    auto *editor = new QSpinBox(parent);
    editor->setStyleSheet(QStringLiteral("QSpinBox { border: 1px solid black; }"));
    editor->setFrame(false);
    editor->setMinimum(0);
    editor->setMaximum(1000000000);
    return editor;
}

void SpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    auto *spinBox = static_cast<QSpinBox *>(editor);
    // Clamp in 64 bits: a stored 5000000000 cut to int would open as an unrelated number.
    const qint64 value = ReadValueCell(editor, index).toLongLong();
    spinBox->setValue(int(qBound<qint64>(spinBox->minimum(), value, spinBox->maximum())));
}

void SpinBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    auto *spinBox = static_cast<QSpinBox *>(editor);
    // Typed text that was not yet taken over (no Enter pressed) still counts.
    spinBox->interpretText();
    const int value = spinBox->value();
    WriteValueCell(editor, model, index, value, QString::number(value));
}

void SpinBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const {
    editor->setGeometry(option.rect);
}
