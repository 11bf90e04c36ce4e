#include "modal_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

namespace {

bool Matches(QDialog *dialog, const QString &name) {
    return dialog->objectName() == name || dialog->inherits(name.toLatin1().constData());
}

} // namespace

ModalDriver::ModalDriver() {
    connect(&timer, &QTimer::timeout, this, &ModalDriver::Poll);
    timer.start(20);
}

void ModalDriver::Queue(const QString &dialog, Handler handler) {
    queued.append({dialog, std::move(handler)});
}

void ModalDriver::Always(const QString &dialog, Handler handler) {
    standing.append({dialog, std::move(handler)});
}

QStringList ModalDriver::Titles() const {
    QStringList titles;
    for (const QString &box : boxes)
        titles << box.section(QLatin1Char('|'), 0, 0);
    return titles;
}

QStringList ModalDriver::Texts() const {
    QStringList texts;
    for (const QString &box : boxes)
        texts << box.section(QLatin1Char('|'), 1);
    return texts;
}

void ModalDriver::ClearSeen() {
    boxes.clear();
    dialogs.clear();
    fileDialogs = 0;
}

QAbstractButton *ModalDriver::Button(QDialog *dialog, QDialogButtonBox::StandardButton which) {
    for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
        if (QAbstractButton *button = box->button(which))
            return button;
    }
    return nullptr;
}

ModalDriver::Handler ModalDriver::Login(const QString &server, const QString &user, const QString &password) {
    return [=](QDialog *dialog) {
        dialog->findChild<QComboBox *>(QStringLiteral("combo_server"))->setEditText(server);
        dialog->findChild<QComboBox *>(QStringLiteral("combo_login"))->setEditText(user);
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_password"))->setText(password);
        Button(dialog, QDialogButtonBox::Ok)->click();
        return true;
    };
}

ModalDriver::Handler ModalDriver::Password(const QString &text) {
    return [=](QDialog *dialog) {
        if (text.isNull()) {
            Button(dialog, QDialogButtonBox::Cancel)->click();
            return true;
        }
        dialog->findChild<QLineEdit *>(QStringLiteral("password"))->setText(text);
        Button(dialog, QDialogButtonBox::Ok)->click();
        return true;
    };
}

ModalDriver::Handler ModalDriver::File(const QString &path) {
    return [=](QDialog *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        if (!files || path.isEmpty())
            dialog->reject();
        else
            AnswerFileDialog(files, path);
        return true;
    };
}

void ModalDriver::AnswerFileDialog(QFileDialog *dialog, const QString &path) {
    if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    else
        dialog->selectFile(path);
    // QFileDialog checks the name as on OK.
    static_cast<QDialog *>(dialog)->accept();
}

bool ModalDriver::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Hide) {
        for (int i = answering.size() - 1; i >= 0; --i) {
            if (answering[i].isNull() || answering[i] == watched)
                answering.removeAt(i);
        }
    }
    return QObject::eventFilter(watched, event);
}

bool ModalDriver::Busy(QWidget *widget) const {
    for (const QPointer<QWidget> &w : answering) {
        if (w == widget)
            return true;
    }
    return false;
}

void ModalDriver::Poll() {
    QWidget *modal = QApplication::activeModalWidget();
    // A window seen once is being answered: a file dialog is active again while its own "replace?"
    // box closes, and a slow machine may poll in between.
    if (!modal || !modal->isVisible() || Busy(modal))
        return;
    answering.append(modal);
    modal->installEventFilter(this);
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        AnswerBox(box);
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        bool seenBefore = false;
        for (const auto &entry : unfinished)
            seenBefore = seenBefore || entry.first == dialog;
        AnswerDialog(dialog, seenBefore);
    }
}

void ModalDriver::AnswerBox(QMessageBox *box) {
    boxes << box->windowTitle() + QLatin1Char('|') + box->text();
    QAbstractButton *button = nullptr;
    if (!boxAnswers.isEmpty())
        button = box->button(boxAnswers.takeFirst());
    if (!button)
        button = box->button(boxAnswer);
    if (!button)
        button = box->button(QMessageBox::Ok);
    if (!button)
        button = box->escapeButton();
    if (!button && !box->buttons().isEmpty())
        button = box->buttons().first();
    // Pressed after the poll returns: the answer may open the next window, whose loop must be free to poll.
    QPointer<QAbstractButton> pressed(button);
    QTimer::singleShot(0, this, [pressed] {
        if (pressed)
            pressed->click();
    });
}

ModalDriver::Handler ModalDriver::TakeHandler(QDialog *dialog) {
    for (int i = 0; i < unfinished.size(); ++i) {
        if (unfinished[i].first == dialog)
            return unfinished.takeAt(i).second;
    }
    for (int i = 0; i < queued.size(); ++i) {
        if (Matches(dialog, queued[i].first))
            return queued.takeAt(i).second;
    }
    for (const auto &entry : qAsConst(standing)) {
        if (Matches(dialog, entry.first))
            return entry.second;
    }
    return Handler();
}

void ModalDriver::AnswerDialog(QDialog *dialog, bool seenBefore) {
    if (!seenBefore) {
        if (qobject_cast<QFileDialog *>(dialog))
            ++fileDialogs;
        else
            dialogs << dialog->objectName();
    }
    const Handler handler = TakeHandler(dialog);
    QPointer<QDialog> guard(dialog);
    QTimer::singleShot(0, this, [this, guard, handler] {
        if (!guard)
            return;
        if (!handler) {
            guard->reject();
            return;
        }
        if (!handler(guard) && guard && guard->isVisible()) {
            unfinished.append({guard, handler});
            for (int i = answering.size() - 1; i >= 0; --i) {
                if (answering[i] == guard.data())
                    answering.removeAt(i);
            }
        }
    });
}
