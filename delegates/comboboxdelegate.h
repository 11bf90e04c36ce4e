#pragma once

#include <QMap>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVector>

class ComboBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ComboBoxDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    // Replaces both lists with the map's entries in ascending key order.
    void SetItemsList(const QMap<int, QString> &items);
    // Empty when the value is not in the list.
    QString GetNameByValue(const QVariant &value) const;

    QStringList itemNames;
    QVector<int> itemValues;
};
