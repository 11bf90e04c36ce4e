// Closes modal dialogs the way a person would, and remembers what the message boxes said.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <functional>

// Answers a file dialog with `path` typed into its name field, where a person types it. selectFile()
// alone leaves the field as it was once the field has the focus, and the dialog then never closes.
inline void AnswerFileDialog(QFileDialog *dialog, const QString &path) {
    if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    else
        dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
}

class ModalCloser : public QObject {
public:
    struct Message {
        QString title;
        QString text;
    };

    ModalCloser() { Arm(); }

    // Called for a modal widget that is not a message box; returns true when it dealt with it.
    std::function<bool(QWidget *)> otherDialog;
    QList<Message> messages;

    QString Titles() const {
        QStringList titles;
        for (const Message &m : messages)
            titles << m.title;
        return titles.join('|');
    }

private:
    void Arm() {
        QTimer::singleShot(10, this, [this] { Poll(); });
    }

    void Poll() {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages.append({box->windowTitle(), box->text()});
            QAbstractButton *button = box->button(QMessageBox::Ok);
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button)
                button->click();
        } else if (modal && otherDialog) {
            otherDialog(modal);
        }
        Arm();
    }
};
