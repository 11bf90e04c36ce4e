// Cell editors opened by a real table view on a value cell, as the properties editor uses them.
#include "delegates/checkboxdelegate.h"
#include "delegates/comboboxdelegate.h"
#include "delegates/doublespinboxdelegate.h"
#include "delegates/spinboxdelegate.h"
#include "delegates/ti_ts_comboboxdelegate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

namespace {

// Types text character by character, also letters that have no key code of their own.
void TypeText(QWidget *widget, const QString &text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

const char kLastComboValue[] = "last_combo_value";

QMap<int, QString> MeasurementList() {
    return {{201000017, QStringLiteral("А: Частота (17)")},
            {201000020, QStringLiteral("А: Мощность (20)")},
            {202000005, QStringLiteral("Д: Выключатель (5)")}};
}

// One value cell in column 1 of a shown table, with the delegate under test on its row.
class Cell {
public:
    Cell(QAbstractItemDelegate *delegate, const QVariant &value, const QString &text) {
        table.setColumnCount(2);
        table.setRowCount(1);
        table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("Параметр")));
        item = new QTableWidgetItem(text);
        item->setData(Qt::UserRole, value);
        table.setItem(0, 1, item);
        table.setItemDelegateForRow(0, delegate);
        table.resize(400, 200);
        table.show();
    }

    template <typename Editor> Editor *Open() {
        table.setCurrentItem(item);
        table.editItem(item);
        return table.viewport()->findChild<Editor *>();
    }

    void Commit(QWidget *editor) {
        table.itemDelegateForRow(0)->setModelData(editor, table.model(), table.model()->index(0, 1));
    }

    QVariant Value() const { return item->data(Qt::UserRole); }
    QString Text() const { return item->text(); }

    QTableWidget table;
    QTableWidgetItem *item = nullptr;
};

void TypeInto(QWidget *editor, const QString &text) {
    QLineEdit *line = qobject_cast<QLineEdit *>(editor);
    if (!line)
        line = editor->findChild<QLineEdit *>();
    QVERIFY(line);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    TypeText(line, text);
}

} // namespace

class CellEditorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void doubleSpinBox_data();
    void doubleSpinBox();
    void spinBoxLimits_data();
    void spinBoxLimits();
    void checkBoxKeepsText_data();
    void checkBoxKeepsText();
    void comboBox_data();
    void comboBox();
    void tiTsOpen_data();
    void tiTsOpen();
    void tiTsTyped_data();
    void tiTsTyped();
    void tiTsTypedCodeIsNotInsertedIntoList();
};

void CellEditorsTest::doubleSpinBox_data() {
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("opened");
    QTest::addColumn<double>("committed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("key");    // the setting of the row
    QTest::addColumn<QString>("locale"); // the program's own is Russian
    QTest::addColumn<bool>("refused");   // a message says why and the cell keeps its value

    // A setting is opened and committed as it is stored, never rounded by the editor.
    QTest::newRow("opens-with-its-decimals")
        << 12.3456 << QString() << 12.3456 << 12.3456 << "12.3456" << QString() << "C" << false;
    QTest::newRow("dead-band-0.075-unchanged") << 0.075 << QString() << 0.075 << 0.075 << "0.075"
                                               << "DeadBand"
                                               << "ru_RU" << false;
    QTest::newRow("seven-decimals-untouched-kept")
        << 0.1234567 << QString() << 0.123457 << 0.1234567 << "0.123457" << QString() << "C" << false;
    QTest::newRow("large-value-shown-with-six-digits")
        << 0.0 << "1234567.5" << 0.0 << 1234567.5 << "1.23457e+06" << QString() << "C" << false;
    QTest::newRow("typed-text-taken-without-enter")
        << 3.0 << "47.25" << 3.0 << 47.25 << "47.25" << QString() << "C" << false;
    QTest::newRow("above-maximum-opens-at-maximum")
        << 2e9 << QString() << 1e9 << 1e9 << "1e+09" << QString() << "C" << false;
    // Either separator, whatever the locale: "0.075" on a Russian desktop used to become 75.
    QTest::newRow("dot-typed-in-russian") << 0.1 << "0.075" << 0.1 << 0.075 << "0.075"
                                          << "DeadBand"
                                          << "ru_RU" << false;
    QTest::newRow("comma-typed-in-russian") << 0.1 << "0,075" << 0.1 << 0.075 << "0.075"
                                            << "DeadBand"
                                            << "ru_RU" << false;
    QTest::newRow("comma-typed-in-c") << 0.1 << "0,15" << 0.1 << 0.15 << "0.15"
                                      << "DeadBand"
                                      << "C" << false;
    QTest::newRow("dead-band-of-75-refused") << 0.075 << "75" << 0.075 << 0.075 << "0.075"
                                             << "DeadBand"
                                             << "ru_RU" << true;
    QTest::newRow("droop-of-50-refused") << 5.0 << "50" << 5.0 << 5.0 << "5"
                                         << "Droop"
                                         << "C" << true;
    QTest::newRow("unlisted-setting-takes-any") << 5.0 << "5000" << 5.0 << 5000.0 << "5000"
                                                << "Other"
                                                << "C" << false;
}

void CellEditorsTest::doubleSpinBox() {
    QFETCH(double, stored);
    QFETCH(QString, typed);
    QFETCH(double, opened);
    QFETCH(double, committed);
    QFETCH(QString, shown);
    QFETCH(QString, key);
    QFETCH(QString, locale);
    QFETCH(bool, refused);

    QLocale::setDefault(QLocale(locale));
    DoubleSpinBoxDelegate delegate(nullptr);
    Cell cell(&delegate, stored, QString::number(stored));
    cell.item->setData(Qt::UserRole + 1, key);
    auto *editor = cell.Open<QDoubleSpinBox>();
    QVERIFY(editor);
    QCOMPARE(editor->value(), opened);
    if (!typed.isEmpty())
        TypeInto(editor, typed);
    QStringList boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxes] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    closer.start(20);
    cell.Commit(editor);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(cell.Value().toDouble(), committed);
    QCOMPARE(cell.Text(), shown);
    QCOMPARE(boxes.size(), refused ? 1 : 0);
    if (refused)
        QVERIFY2(boxes[0].contains(QStringLiteral("вне допустимых пределов")), qPrintable(boxes[0]));
}

void CellEditorsTest::spinBoxLimits_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("committed");

    QTest::newRow("stored-above-maximum") << QVariant(qint64(5000000000LL)) << QString() << 1000000000;
    QTest::newRow("stored-below-zero") << QVariant(-7) << QString() << 0;
    QTest::newRow("typed-maximum") << QVariant(1) << "1000000000" << 1000000000;
    QTest::newRow("typed-beyond-maximum-refused") << QVariant(1) << "2000000000" << 200000000;
    QTest::newRow("typed-minus-refused") << QVariant(1) << "-5" << 5;
    QTest::newRow("typed-without-enter") << QVariant(8) << "42" << 42;
}

void CellEditorsTest::spinBoxLimits() {
    QFETCH(QVariant, stored);
    QFETCH(QString, typed);
    QFETCH(int, committed);

    SpinBoxDelegate delegate(nullptr);
    Cell cell(&delegate, stored, stored.toString());
    auto *editor = cell.Open<QSpinBox>();
    QVERIFY(editor);
    if (!typed.isEmpty())
        TypeInto(editor, typed);
    cell.Commit(editor);
    QCOMPARE(cell.Value(), QVariant(committed));
    QCOMPARE(cell.Text(), QString::number(committed));
}

void CellEditorsTest::checkBoxKeepsText_data() {
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("text");

    QTest::newRow("yes-to-no") << true << "Да";
    QTest::newRow("no-to-yes") << false << "Нет";
}

void CellEditorsTest::checkBoxKeepsText() {
    QFETCH(bool, stored);
    QFETCH(QString, text);

    CheckBoxDelegate delegate(nullptr);
    Cell cell(&delegate, stored, text);
    auto *editor = cell.Open<QCheckBox>();
    QVERIFY(editor);
    QCOMPARE(editor->isChecked(), stored);
    editor->setChecked(!stored);
    cell.Commit(editor);
    QCOMPARE(cell.Value(), QVariant(!stored));
    QCOMPARE(cell.Text(), text);
}

void CellEditorsTest::comboBox_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("committed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("value-in-list") << QVariant(7) << 7 << "Энергоблок";
    QTest::newRow("value-not-in-list-takes-first") << QVariant(99) << 3 << "Станция";
    QTest::newRow("64-bit-value-matches") << QVariant(qint64(7)) << 7 << "Энергоблок";
}

void CellEditorsTest::comboBox() {
    QFETCH(QVariant, stored);
    QFETCH(int, committed);
    QFETCH(QString, shown);

    ComboBoxDelegate delegate(nullptr);
    delegate.SetItemsList({{7, QStringLiteral("Энергоблок")}, {3, QStringLiteral("Станция")}});
    Cell cell(&delegate, stored, QString());
    auto *editor = cell.Open<QComboBox>();
    QVERIFY(editor);
    cell.Commit(editor);
    QCOMPARE(cell.Value(), QVariant(committed));
    QCOMPARE(cell.Text(), shown);
}

void CellEditorsTest::tiTsOpen_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("remembered");
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("editText");

    const QVariant none;
    QTest::newRow("analog-shows-code") << QVariant(qint64(201000017)) << none << 0 << "А:17";
    QTest::newRow("discrete-shows-code") << QVariant(202000005) << none << 2 << "Д:5";
    QTest::newRow("zero-opens-empty") << QVariant(0) << QVariant(1) << -1 << QString();
    QTest::newRow("zero-never-remembered-opens-empty") << QVariant(0) << none << -1 << QString();
    QTest::newRow("no-measurement-million-opens-empty") << QVariant(1000000) << none << -1 << QString();
    QTest::newRow("unknown-opens-remembered") << QVariant(201000099) << QVariant(1) << 1 << "А:20";
    QTest::newRow("unknown-never-remembered-opens-first") << QVariant(201000099) << none << 0 << "А:17";
    QTest::newRow("remembered-beyond-list-opens-empty") << QVariant(201000099) << QVariant(7) << -1 << QString();
}

void CellEditorsTest::tiTsOpen() {
    QFETCH(QVariant, stored);
    QFETCH(QVariant, remembered);
    QFETCH(int, current);
    QFETCH(QString, editText);

    TI_TS_ComboBoxDelegate delegate(nullptr);
    delegate.SetItemsList(MeasurementList());
    Cell cell(&delegate, stored, QString());
    if (remembered.isValid())
        cell.table.viewport()->setProperty(kLastComboValue, remembered);
    auto *editor = cell.Open<QComboBox>();
    QVERIFY(editor);
    QVERIFY(editor->isEditable());
    QCOMPARE(editor->count(), 3);
    QCOMPARE(editor->currentIndex(), current);
    QCOMPARE(editor->currentText(), editText);
}

void CellEditorsTest::tiTsTyped_data() {
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("committed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QVariant>("remembered");

    QTest::newRow("ts-code") << 0 << "ТС:5" << qint64(202000005) << "Д: Выключатель (5)" << QVariant(0);
    QTest::newRow("analog-code-in-list") << 1 << "А:17" << qint64(201000017) << "А: Частота (17)" << QVariant(1);
    QTest::newRow("analog-code-not-in-list") << 1 << "А:99" << qint64(201000099) << "А:99" << QVariant(1);
    QTest::newRow("no-prefix-keeps-current-entry")
        << 1 << "частота" << qint64(201000020) << "А: Мощность (20)" << QVariant(1);
    QTest::newRow("latin-a-is-not-a-prefix") << 2 << "A:17" << qint64(202000005) << "Д: Выключатель (5)" << QVariant(2);
    QTest::newRow("lowercase-prefix-ignored")
        << 2 << "а:17" << qint64(202000005) << "Д: Выключатель (5)" << QVariant(2);
    QTest::newRow("zero-number-keeps-current")
        << 2 << "А:0" << qint64(202000005) << "Д: Выключатель (5)" << QVariant(2);
    QTest::newRow("not-a-number-keeps-current") << 0 << "А:x1" << qint64(201000017) << "А: Частота (17)" << QVariant(0);
    QTest::newRow("number-spilling-into-table-refused")
        << 0 << "А:1000005" << qint64(201000017) << "А: Частота (17)" << QVariant(0);
    QTest::newRow("empty-commit-stores-zero-and-keeps-memory")
        << 2 << QString() << qint64(0) << QString() << QVariant(5);
}

void CellEditorsTest::tiTsTyped() {
    QFETCH(int, current);
    QFETCH(QString, typed);
    QFETCH(qint64, committed);
    QFETCH(QString, shown);
    QFETCH(QVariant, remembered);

    TI_TS_ComboBoxDelegate delegate(nullptr);
    delegate.SetItemsList(MeasurementList());
    Cell cell(&delegate, QVariant(201000017), QStringLiteral("А: Частота (17)"));
    cell.table.viewport()->setProperty(kLastComboValue, 5);
    auto *editor = cell.Open<QComboBox>();
    QVERIFY(editor);
    editor->setCurrentIndex(current);
    TypeInto(editor, typed);
    cell.Commit(editor);
    QCOMPARE(cell.Value().toLongLong(), committed);
    QCOMPARE(cell.Text(), shown);
    QCOMPARE(cell.table.viewport()->property(kLastComboValue), remembered);
}

void CellEditorsTest::tiTsTypedCodeIsNotInsertedIntoList() {
    TI_TS_ComboBoxDelegate delegate(nullptr);
    delegate.SetItemsList(MeasurementList());
    Cell cell(&delegate, QVariant(201000017), QString());
    auto *editor = cell.Open<QComboBox>();
    QVERIFY(editor);
    QVERIFY(editor->lineEdit());
    TypeInto(editor, QStringLiteral("ТС:5"));
    // Enter in the line edit would append the typed text as a new entry with no data.
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QTRY_COMPARE(cell.Value().toLongLong(), qint64(202000005));
    QCOMPARE(cell.Text(), QStringLiteral("Д: Выключатель (5)"));
}

QTEST_MAIN(CellEditorsTest)
#include "cell_editors_test.moc"
