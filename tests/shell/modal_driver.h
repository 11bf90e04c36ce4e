// Answers the application's modal dialogs the way a person would: a chain of single-shot timers
// looks at QApplication::activeModalWidget(), notes what it shows and presses one of its buttons.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <functional>

class ModalDriver : public QObject {
public:
    // What to do with a dialog other than a message box; returns false to leave it for the next poll.
    using Handler = std::function<bool(QDialog *)>;

    ModalDriver() { Arm(); }

    // Every message box seen, as "title|text", in order.
    QStringList boxes;
    // Object names of the other dialogs seen, in order.
    QStringList dialogs;
    // Handlers by dialog object name; a dialog without one is rejected.
    QMap<QString, QList<Handler>> handlers;

    void Queue(const QString &dialogName, Handler handler) { handlers[dialogName].append(std::move(handler)); }

    static QAbstractButton *Button(QDialog *dialog, QDialogButtonBox::StandardButton which) {
        for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
            if (QAbstractButton *button = box->button(which))
                return button;
        }
        return nullptr;
    }

    // A login handler that types the given texts and presses OK.
    static Handler Login(const QString &server, const QString &user, const QString &password) {
        return [=](QDialog *dialog) {
            dialog->findChild<QComboBox *>("combo_server")->setEditText(server);
            dialog->findChild<QComboBox *>("combo_login")->setEditText(user);
            dialog->findChild<QLineEdit *>("lineEdit_password")->setText(password);
            Button(dialog, QDialogButtonBox::Ok)->click();
            return true;
        };
    }

    // A password handler that types the text and presses OK, or presses Cancel for a null text.
    static Handler Password(const QString &text) {
        return [=](QDialog *dialog) {
            if (text.isNull()) {
                Button(dialog, QDialogButtonBox::Cancel)->click();
                return true;
            }
            dialog->findChild<QLineEdit *>("password")->setText(text);
            Button(dialog, QDialogButtonBox::Ok)->click();
            return true;
        };
    }

private:
    void Arm() {
        QTimer::singleShot(30, this, [this] { Poll(); });
    }

    void Poll() {
        // Re-armed first: answering a dialog may open another one in a nested event loop.
        Arm();
        QWidget *widget = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(widget)) {
            if (box->isVisible() && handled != box) {
                handled = box;
                boxes << box->windowTitle() + "|" + box->text();
                QAbstractButton *button = box->button(QMessageBox::Ok);
                if (!button)
                    button = box->button(QMessageBox::No);
                if (!button)
                    button = box->escapeButton();
                if (button)
                    button->click();
            }
        } else if (auto *dialog = qobject_cast<QDialog *>(widget)) {
            if (dialog->isVisible() && handled != dialog) {
                handled = dialog;
                dialogs << dialog->objectName();
                QList<Handler> &queue = handlers[dialog->objectName()];
                if (!queue.isEmpty()) {
                    queue.takeFirst()(dialog);
                } else {
                    dialog->reject();
                }
            }
        } else {
            handled = nullptr;
        }
    }

    QPointer<QWidget> handled;
};
