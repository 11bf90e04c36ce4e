#pragma once

#include <QMap>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVector>

class TI_TS_ComboBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TI_TS_ComboBoxDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    void SetItemsList(const QMap<int, QString> &items);
    QString GetNameByValue(const QVariant &value) const;

    QStringList itemNames;
    QVector<int> itemValues;

public slots:
    // Kept for the form's sake: typed text is only interpreted on commit.
    void editTextChanged(const QString &text);
};
