#include "checkboxdelegate.h"

#include "value_cell.h"

#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

namespace {

// The cell rectangle with its left edge moved so that a check indicator drawn from there is centred.
QRect CentredIndicatorRect(const QRect &cell) {
    QStyleOptionButton probe;
    const QRect indicator = QApplication::style()->subElementRect(QStyle::SE_CheckBoxIndicator, &probe);
    QRect rect = cell;
    rect.setLeft(cell.left() + cell.width() / 2 - indicator.width() / 2);
    return rect;
}

} // namespace

CheckBoxDelegate::CheckBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *CheckBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    return new QCheckBox(parent);
}

void CheckBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    static_cast<QCheckBox *>(editor)->setChecked(index.data(Qt::UserRole).toBool());
}

void CheckBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    // The shown text ("Да"/"Нет") stays; the check box painted over the cell tells the value. A commit
    // of the same value counts as a change, as with the other editors.
    WriteValueCell(editor, model, index, static_cast<QCheckBox *>(editor)->isChecked(),
                   index.data(Qt::DisplayRole).toString());
}

void CheckBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const {
    editor->setGeometry(CentredIndicatorRect(option.rect));
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
    if (index.column() != 1) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyle *style = QApplication::style();
    if (option.state & QStyle::State_Selected) {
        QStyleOptionFrame frame;
        frame.rect = option.rect;
        frame.lineWidth = 2;
        frame.palette = option.palette;
        frame.palette.setBrush(QPalette::WindowText, QBrush(QColor(0, 0, 150)));
        style->drawPrimitive(QStyle::PE_Frame, &frame, painter);
    }
    QStyleOptionButton box;
    box.rect = CentredIndicatorRect(option.rect);
    box.state = (index.data(Qt::UserRole).toBool() ? QStyle::State_On : QStyle::State_Off) | QStyle::State_Enabled;
    style->drawControl(QStyle::CE_CheckBox, &box, painter);
}
