#include "doublespinboxdelegate.h"

#include "delegates/decimal_spin_box.h"
#include "value_cell.h"

#include <QMessageBox>
#include <QPointer>
#include <cmath>

namespace {

struct Range {
    const char *key;
    double low;
    double high;
    const char *unit;
};

// What a setting can sensibly hold; a value beyond it is a typing slip (a dead band of 75 Hz), not a
// setting. Settings not listed are held to the editor's own limits.
const Range SensibleRanges[] = {
    {"DeadBand", 0, 0.5, "Гц"},    {"Droop", 0, 20, "%"},           {"NominalPower", 0, 10000, "МВт"},
    {"MinPower", 0, 10000, "МВт"}, {"MaxPower", 0, 10000, "МВт"},   {"DeadTime", 0, 60, "с"},
    {"TimeConstant", 0, 600, "с"}, {"RampLimit", 0, 1000, "МВт/с"},
};

const Range *RangeOf(const QString &key) {
    for (const Range &range : SensibleRanges)
        if (key == QLatin1String(range.key))
            return &range;
    return nullptr;
}

} // namespace

DoubleSpinBoxDelegate::DoubleSpinBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *DoubleSpinBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const {
    auto *editor = new DecimalSpinBox(parent);
    editor->setStyleSheet(QStringLiteral("QDoubleSpinBox { border: 1px solid black; }"));
    editor->setFrame(false);
    // The range must be set before the decimals: each setter rounds what is already there.
    editor->setMinimum(0);
    editor->setMaximum(1000000000);
    editor->setDecimals(DecimalSpinBox::MaxDecimals);
    editor->setSingleStep(0.1);
    return editor;
}

void DoubleSpinBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    auto *spinBox = static_cast<QDoubleSpinBox *>(editor);
    const double stored = ReadValueCell(editor, index).toDouble();
    spinBox->setValue(stored);
    spinBox->setProperty("storedValue", stored);
    spinBox->setProperty("openedText", spinBox->text());
}

void DoubleSpinBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    auto *spinBox = static_cast<QDoubleSpinBox *>(editor);
    spinBox->interpretText();
    double value = spinBox->value();
    // Untouched, a value within the editor's limits is committed as stored rather than as shown.
    const double stored = spinBox->property("storedValue").toDouble();
    if (spinBox->property("openedText").isValid() && spinBox->text() == spinBox->property("openedText").toString() &&
        stored >= spinBox->minimum() && stored <= spinBox->maximum())
        value = stored;

    const QTableWidgetItem *cell = ValueCell(editor, index);
    const QString key = (cell ? cell->data(ValueCellKeyRole) : index.data(ValueCellKeyRole)).toString();
    if (const Range *range = RangeOf(key); range && !(value >= range->low && value <= range->high)) {
        // Said once: the box takes the focus from the editor, which commits it again meanwhile.
        static bool telling = false;
        if (!telling) {
            telling = true;
            const QPointer<QWidget> guard(editor);
            const QString title = cell && cell->tableWidget() && cell->tableWidget()->item(cell->row(), 0)
                                      ? cell->tableWidget()->item(cell->row(), 0)->text()
                                      : key;
            QMessageBox::warning(editor->window(), QStringLiteral("Ошибка"),
                                 QStringLiteral("Значение %1 вне допустимых пределов параметра «%2»: от %3 до %4 %5. "
                                                "Значение не сохранено.")
                                     .arg(QLocale().toString(value, 'g', 6), title,
                                          QLocale().toString(range->low, 'g', 6),
                                          QLocale().toString(range->high, 'g', 6), QString::fromUtf8(range->unit)));
            telling = false;
            if (!guard)
                return;
        }
        return;
    }
    WriteValueCell(editor, model, index, value, QString::number(value, 'g', 6));
}

void DoubleSpinBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                 const QModelIndex &) const {
    editor->setGeometry(option.rect);
}
