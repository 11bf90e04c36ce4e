#include "comboboxdelegate.h"

#include "value_cell.h"

#include <QComboBox>

ComboBoxDelegate::ComboBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *ComboBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    auto *editor = new QComboBox(parent);
    editor->setStyleSheet(QStringLiteral("QComboBox { border: 1px solid black; }"));
    for (int i = 0; i < itemNames.size() && i < itemValues.size(); ++i)
        editor->addItem(itemNames.at(i), itemValues.at(i));
    return editor;
}

void ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    auto *comboBox = static_cast<QComboBox *>(editor);
    const int i = comboBox->findData(ReadValueCell(editor, index));
    if (i >= 0)
        comboBox->setCurrentIndex(i);
}

void ComboBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    auto *comboBox = static_cast<QComboBox *>(editor);
    // An empty list has nothing to choose: keep the cell as it was.
    if (comboBox->currentIndex() < 0)
        return;
    WriteValueCell(editor, model, index, comboBox->currentData(), comboBox->currentText());
}

void ComboBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const {
    editor->setGeometry(option.rect);
}

void ComboBoxDelegate::SetItemsList(const QMap<int, QString> &items) {
    itemNames.clear();
    itemValues.clear();
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        itemNames.append(it.value());
        itemValues.append(it.key());
    }
}

QString ComboBoxDelegate::GetNameByValue(const QVariant &value) const {
    const int i = itemValues.indexOf(value.toInt());
    return i >= 0 && i < itemNames.size() ? itemNames.at(i) : QString();
}
