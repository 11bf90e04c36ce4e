#include "ti_ts_comboboxdelegate.h"

#include "value_cell.h"

#include <climits>

#include <QComboBox>

namespace {

constexpr qint64 kTableFactor = 1000000;
constexpr qint64 kAnalogTable = 201;
constexpr qint64 kDiscreteTable = 202;
const char kLastComboValue[] = "last_combo_value";

struct ReferencePrefix {
    QString text;
    qint64 table;
};

const QVector<ReferencePrefix> &Prefixes() {
    static const QVector<ReferencePrefix> prefixes = {
        {QStringLiteral("А:"), kAnalogTable},
        {QStringLiteral("Д:"), kDiscreteTable},
        {QStringLiteral("ТИ:"), kAnalogTable},
        {QStringLiteral("ТС:"), kDiscreteTable},
    };
    return prefixes;
}

} // namespace

TI_TS_ComboBoxDelegate::TI_TS_ComboBoxDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *TI_TS_ComboBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                              const QModelIndex &) const {
    auto *editor = new QComboBox(parent);
    editor->setStyleSheet(QStringLiteral("QComboBox { border: 1px solid black; }"));
    for (int i = 0; i < itemNames.size() && i < itemValues.size(); ++i)
        editor->addItem(itemNames.at(i), itemValues.at(i));
    editor->setEditable(true);
    // Typed codes such as "А:17" are read on commit; they must neither become list entries nor be
    // completed into some entry's name behind the user's back.
    editor->setInsertPolicy(QComboBox::NoInsert);
    editor->setCompleter(nullptr);
    return editor;
}

void TI_TS_ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const {
    auto *comboBox = static_cast<QComboBox *>(editor);
    const QVariant stored = ReadValueCell(editor, index);
    qint64 value = stored.toLongLong();
    // A cell without a measurement opens empty: offering the remembered entry here would assign a
    // measurement the user never chose as soon as the editor closes.
    if (value <= kTableFactor) {
        comboBox->setCurrentIndex(-1);
        comboBox->setEditText(QString());
        return;
    }
    int i = comboBox->findData(stored);
    if (i < 0 || i >= comboBox->count()) {
        // Not in the list: offer the entry chosen in the last edit of this table.
        const QWidget *viewport = editor->parentWidget();
        i = viewport ? viewport->property(kLastComboValue).toInt() : 0;
        if (i < 0 || i >= comboBox->count() || i >= itemValues.size()) {
            i = -1;
            value = 0;
        } else {
            value = itemValues.at(i);
        }
    }
    comboBox->setCurrentIndex(i);

    if (value <= kTableFactor) {
        comboBox->setCurrentIndex(-1);
        comboBox->setEditText(QString());
        return;
    }
    const qint64 table = value / kTableFactor;
    const qint64 number = value % kTableFactor;
    if (table == kAnalogTable)
        comboBox->setEditText(QStringLiteral("А:") + QString::number(number));
    else if (table == kDiscreteTable)
        comboBox->setEditText(QStringLiteral("Д:") + QString::number(number));
}

void TI_TS_ComboBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const {
    auto *comboBox = static_cast<QComboBox *>(editor);
    // Read everything first: writing the cell makes the view reload the still open editor.
    const QString typed = comboBox->currentText();
    const int chosen = comboBox->currentIndex();
    qint64 value = comboBox->currentData().toLongLong();
    if (typed.isEmpty()) {
        WriteValueCell(editor, model, index, 0, QString());
        return;
    }

    QString text = typed;
    for (const ReferencePrefix &prefix : Prefixes()) {
        if (!text.startsWith(prefix.text))
            continue;
        text = text.mid(prefix.text.size());
        bool ok = false;
        const qulonglong number = text.toULongLong(&ok);
        // A measurement number of a million or more would spill into the archive table part of the
        // reference and point at another table; such text is not a measurement number.
        if (ok && number != 0 && number < qulonglong(kTableFactor))
            value = prefix.table * kTableFactor + qint64(number);
    }

    const int j = value > INT_MAX ? -1 : itemValues.indexOf(int(value));
    WriteValueCell(editor, model, index, value, j < 0 || j >= itemNames.size() ? typed : itemNames.at(j));
    if (QWidget *viewport = editor->parentWidget())
        viewport->setProperty(kLastComboValue, chosen);
}

void TI_TS_ComboBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                  const QModelIndex &) const {
    editor->setGeometry(option.rect);
}

void TI_TS_ComboBoxDelegate::SetItemsList(const QMap<int, QString> &items) {
    itemNames.clear();
    itemValues.clear();
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        itemNames.append(it.value());
        itemValues.append(it.key());
    }
}

QString TI_TS_ComboBoxDelegate::GetNameByValue(const QVariant &value) const {
    const int i = itemValues.indexOf(value.toInt());
    return i >= 0 && i < itemNames.size() ? itemNames.at(i) : QString();
}

void TI_TS_ComboBoxDelegate::editTextChanged(const QString &) {}
