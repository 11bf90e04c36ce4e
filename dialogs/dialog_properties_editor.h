#pragma once

#include <QDateTime>
#include <QDialog>
#include <QMap>
#include <QString>
#include <QVariant>

class QAbstractItemDelegate;
class QResizeEvent;

namespace Ui {
class PropertiesEditor;
}

// Two-column table of parameter and value in which an object's passport is shown and edited.
// The caller fills it row by row and reads the values back by key.
class PropertiesEditor : public QDialog {
    Q_OBJECT
public:
    explicit PropertiesEditor(QWidget *parent = nullptr);
    ~PropertiesEditor() override;
    PropertiesEditor(const PropertiesEditor &) = delete;
    PropertiesEditor &operator=(const PropertiesEditor &) = delete;

    // Set by every change of a value cell; the caller clears it before each showing.
    bool changed;

    void ClearTable();
    void AddProperty(QString key, QString title, QVariant value, QString text, QAbstractItemDelegate *delegate,
                     bool readOnly);
    void SetEditMode(bool editMode);
    QMap<QString, QVariant> GetProperties() const;

public slots:
    void resizeEvent(QResizeEvent *event) override;
    void sectionResized(int logicalIndex, int oldSize, int newSize);
    void on_PropertiesEditor_finished(int result);
    void on_button_save_clicked();
    void on_button_cancel_clicked();
    void on_tableWidget_cellChanged(int row, int column);
    void reject() override;

private:
    Ui::PropertiesEditor *ui;
    float firstColumnRatio;
    QDateTime lastResizeTime;
};
