// Closes modal boxes as a person would: finds the active modal widget and presses its button.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <algorithm>

class ModalCloser : public QObject {
public:
    // Each box seen is answered with `button` (or OK when it has no such button); file dialogs get
    // `fileName` chosen and accepted, or are cancelled when it is empty.
    explicit ModalCloser(QMessageBox::StandardButton button = QMessageBox::Yes, QString fileName = QString())
        : button(button), fileName(std::move(fileName)) {
        connect(&timer, &QTimer::timeout, this, &ModalCloser::Poll);
        timer.start(20);
    }

    QStringList titles;
    QStringList texts;
    int fileDialogs = 0;
    QStringList dialogs; // object names of other dialogs, which are closed with Escape's meaning

private:
    void Poll() {
        QWidget *modal = QApplication::activeModalWidget();
        // A dialog seen once is being answered: a file dialog is active again while its own
        // "replace?" box closes, and a slow machine may poll in between.
        if (!modal || std::any_of(seen.begin(), seen.end(), [modal](const QPointer<QWidget> &w) { return w == modal; }))
            return;
        seen.append(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            last = box;
            titles << box->windowTitle();
            texts << box->text();
            QAbstractButton *pressed = box->button(button);
            if (!pressed)
                pressed = box->button(QMessageBox::Ok);
            if (pressed)
                Later(pressed, [pressed] { pressed->click(); });
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal); !dialog && qobject_cast<QDialog *>(modal)) {
            last = modal;
            dialogs << modal->objectName();
            Later(modal, [modal] { static_cast<QDialog *>(modal)->reject(); });
        } else if (dialog) {
            last = dialog;
            ++fileDialogs;
            if (fileName.isEmpty()) {
                Later(dialog, [dialog] { dialog->reject(); });
            } else {
                // Typed in full, as a person would: selectFile() alone moves to the folder first.
                if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    edit->setText(fileName);
                else
                    dialog->selectFile(fileName);
                Later(dialog, [dialog] { static_cast<QDialog *>(dialog)->accept(); });
            }
        }
    }

    // Answers after Poll returns: an answer may open the next box, whose loop must be free to run Poll.
    template <typename F> static void Later(QObject *context, F f) { QTimer::singleShot(0, context, f); }

    QTimer timer;
    QMessageBox::StandardButton button;
    QString fileName;
    QPointer<QWidget> last;
    QList<QPointer<QWidget>> seen;
};
