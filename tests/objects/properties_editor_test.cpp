// The properties editor driven as a person does: cells edited through their editors, buttons
// clicked, the save question answered from a timer.
#include "delegates/checkboxdelegate.h"
#include "delegates/lineeditdelegate.h"
#include "dialogs/dialog_properties_editor.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

// Types text character by character, also letters that have no key code of their own.
void TypeText(QWidget *widget, const QString &text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

const QString kTitle = QStringLiteral("Редактор свойств: ТГ-1 (редактирование)");

QTableWidget *Table(PropertiesEditor &editor) {
    return editor.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

QPushButton *Button(PropertiesEditor &editor, const char *name) {
    return editor.findChild<QPushButton *>(QLatin1String(name));
}

void Fill(PropertiesEditor &editor, QAbstractItemDelegate *lineEdit, QAbstractItemDelegate *checkBox = nullptr) {
    editor.ClearTable();
    editor.AddProperty(QStringLiteral("object_name"), QStringLiteral("Наименование объекта"), QStringLiteral("ТГ-1"),
                       QStringLiteral("ТГ-1"), lineEdit, false);
    editor.AddProperty(QStringLiteral("parent_id"), QStringLiteral("Родитель"), QStringLiteral("ТЭЦ"),
                       QStringLiteral("ТЭЦ"), nullptr, true);
    editor.AddProperty(QStringLiteral("object_order"), QStringLiteral("Порядок"), 3, QStringLiteral("3"), nullptr,
                       false);
    if (checkBox)
        editor.AddProperty(QStringLiteral("in_regulation"), QStringLiteral("В регулировании"), true,
                           QStringLiteral("Да"), checkBox, false);
    editor.setWindowTitle(kTitle);
    editor.changed = false;
}

// Edits the value cell of a row through its editor and commits with Enter, as a person does.
// The text "<check>" opens the check box of the last row and commits it unchanged.
void EditRow(PropertiesEditor &editor, int row, const QString &text) {
    QTableWidget *table = Table(editor);
    if (text == QLatin1String("<check>")) {
        QTableWidgetItem *cell = table->item(table->rowCount() - 1, 1);
        table->setCurrentItem(cell);
        table->editItem(cell);
        auto *box = table->viewport()->findChild<QCheckBox *>();
        QVERIFY2(box, "no check box opened");
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(table->viewport()->findChildren<QCheckBox *>().isEmpty());
        QCOMPARE(cell->data(Qt::UserRole), QVariant(true));
        return;
    }
    QTableWidgetItem *cell = table->item(row, 1);
    table->setCurrentItem(cell);
    table->editItem(cell);
    auto *line = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY2(line, "no line editor opened");
    line->selectAll();
    TypeText(line, text);
    QTest::keyClick(line, Qt::Key_Return);
    // The view commits and closes the editor from a queued call.
    QTRY_VERIFY(table->viewport()->findChildren<QLineEdit *>().isEmpty());
}

// Answers the next modal message box with the given button and remembers what it showed.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton answer) {
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            timer.stop();
            asked = true;
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
            defaultIsCancel = box->defaultButton() == box->button(QMessageBox::Cancel);
            box->button(answer)->click();
        });
        timer.start(10);
    }

    QTimer timer;
    bool asked = false;
    bool defaultIsCancel = false;
    QString title;
    QString text;
    QStringList buttons;
};

} // namespace

class PropertiesEditorTest : public QObject {
    Q_OBJECT

private slots:
    void closeQuestion_data();
    void closeQuestion();
    void singleChangeMark_data();
    void singleChangeMark();
    void readOnlyRowNotEditable();
    void ratioKeptAcrossShowings();
};

void PropertiesEditorTest::closeQuestion_data() {
    QTest::addColumn<bool>("editMode");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("stillOpen");
    QTest::addColumn<int>("result");

    QTest::newRow("view-close-never-asks")
        << false << false << "button" << QMessageBox::No << false << false << int(QDialog::Rejected);
    QTest::newRow("unchanged-cancel-never-asks")
        << true << false << "button" << QMessageBox::No << false << false << int(QDialog::Rejected);
    QTest::newRow("edited-cancel-no-discards")
        << true << true << "button" << QMessageBox::No << true << false << int(QDialog::Rejected);
    QTest::newRow("edited-cancel-cancel-stays-open")
        << true << true << "button" << QMessageBox::Cancel << true << true << int(QDialog::Rejected);
    QTest::newRow("edited-cancel-yes-accepts")
        << true << true << "button" << QMessageBox::Yes << true << false << int(QDialog::Accepted);
    QTest::newRow("edited-escape-asks") << true << true << "escape" << QMessageBox::Yes << true << false
                                        << int(QDialog::Accepted);
    QTest::newRow("edited-window-close-asks")
        << true << true << "close" << QMessageBox::Cancel << true << true << int(QDialog::Rejected);
    QTest::newRow("edited-save-never-asks")
        << true << true << "save" << QMessageBox::No << false << false << int(QDialog::Accepted);
}

void PropertiesEditorTest::closeQuestion() {
    QFETCH(bool, editMode);
    QFETCH(bool, edit);
    QFETCH(QString, how);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, asked);
    QFETCH(bool, stillOpen);
    QFETCH(int, result);

    PropertiesEditor editor(nullptr);
    LineEditDelegate lineEdit(nullptr);
    Fill(editor, &lineEdit);
    editor.SetEditMode(editMode);
    QCOMPARE(Button(editor, "button_cancel")->text(), editMode ? QStringLiteral("Отмена") : QStringLiteral("Закрыть"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(Button(editor, "button_save")->isVisible(), editMode);
    if (edit)
        EditRow(editor, 0, QStringLiteral("ТГ-2"));
    editor.setResult(-1);

    BoxAnswerer answerer(answer);
    if (how == QLatin1String("button"))
        QTest::mouseClick(Button(editor, "button_cancel"), Qt::LeftButton);
    else if (how == QLatin1String("save"))
        QTest::mouseClick(Button(editor, "button_save"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&editor, Qt::Key_Escape);
    else
        editor.close();
    answerer.timer.stop();

    QCOMPARE(answerer.asked, asked);
    if (asked) {
        QCOMPARE(answerer.title, QStringLiteral("Сохранить изменения?"));
        QCOMPARE(answerer.text,
                 QStringLiteral("При закрытии окна сделанные изменения будут потеряны.\nСохранить изменения?"));
        QCOMPARE(answerer.buttons.size(), 3);
        QVERIFY(answerer.buttons.contains(QStringLiteral("Да")));
        QVERIFY(answerer.buttons.contains(QStringLiteral("Нет")));
        QVERIFY(answerer.buttons.contains(QStringLiteral("Отмена")));
        QVERIFY(answerer.defaultIsCancel);
    }
    QCOMPARE(editor.isVisible(), stillOpen);
    if (stillOpen) {
        // The edit survives the cancelled question.
        QCOMPARE(editor.GetProperties().value(QStringLiteral("object_name")), QVariant(QStringLiteral("ТГ-2")));
        editor.changed = false;
        editor.reject();
    } else {
        QCOMPARE(editor.result(), result);
    }
}

void PropertiesEditorTest::singleChangeMark_data() {
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("title");

    QTest::newRow("no-edit-no-mark") << QStringList() << kTitle;
    QTest::newRow("one-edit") << QStringList{"ТГ-2"} << kTitle + " *";
    QTest::newRow("three-edits-one-mark") << QStringList{"a", "b", "c"} << kTitle + " *";
    QTest::newRow("same-value-still-marks") << QStringList{"ТГ-1"} << kTitle + " *";
    QTest::newRow("same-check-box-value-still-marks") << QStringList{"<check>"} << kTitle + " *";
}

void PropertiesEditorTest::singleChangeMark() {
    QFETCH(QStringList, edits);
    QFETCH(QString, title);

    PropertiesEditor editor(nullptr);
    LineEditDelegate lineEdit(nullptr);
    CheckBoxDelegate checkBox(nullptr);
    Fill(editor, &lineEdit, &checkBox);
    editor.SetEditMode(true);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    for (const QString &text : edits)
        EditRow(editor, 0, text);
    QCOMPARE(editor.windowTitle(), title);
    QCOMPARE(editor.changed, !edits.isEmpty());

    // Refilling for the next showing must not count as a change.
    editor.changed = false;
    Fill(editor, &lineEdit, &checkBox);
    QVERIFY(!editor.changed);
    QCOMPARE(editor.windowTitle(), kTitle);
    editor.reject();
}

void PropertiesEditorTest::readOnlyRowNotEditable() {
    PropertiesEditor editor(nullptr);
    LineEditDelegate lineEdit(nullptr);
    Fill(editor, &lineEdit);
    editor.SetEditMode(true);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTableWidget *table = Table(editor);
    table->setCurrentItem(table->item(1, 1));
    table->editItem(table->item(1, 1));
    QVERIFY(table->viewport()->findChildren<QLineEdit *>().isEmpty());
    TypeText(table, QStringLiteral("xyz"));
    QVERIFY(!editor.changed);
    QCOMPARE(editor.GetProperties().value(QStringLiteral("parent_id")), QVariant(QStringLiteral("ТЭЦ")));
    editor.reject();
}

void PropertiesEditorTest::ratioKeptAcrossShowings() {
    PropertiesEditor editor(nullptr);
    LineEditDelegate lineEdit(nullptr);
    QTableWidget *table = Table(editor);
    // The form's own size, a small and a wide one, each in a showing of its own.
    for (const QSize &size : {QSize(740, 471), QSize(420, 300), QSize(1200, 500)}) {
        Fill(editor, &lineEdit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.resize(size);
        QTRY_COMPARE(table->columnWidth(0), int(table->width() * 0.5f));
        // Column 1 is the stretched last section and takes at least its share.
        QVERIFY(table->columnWidth(1) >= int(table->width() * 0.4f));
        editor.reject();
        QVERIFY(!editor.isVisible());
    }
}

QTEST_MAIN(PropertiesEditorTest)
#include "properties_editor_test.moc"
