// Answers the application's modal windows the way a person would: a timer looks at
// QApplication::activeModalWidget(), notes what it shows and presses one of its buttons.
#pragma once

#include <QDialogButtonBox>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class QAbstractButton;
class QDialog;
class QFileDialog;

class ModalDriver : public QObject {
public:
    // Answers a dialog. Returns false when it is not done with it yet: it is asked again at the next poll.
    using Handler = std::function<bool(QDialog *)>;

    ModalDriver();
    ModalDriver(const ModalDriver &) = delete;
    ModalDriver &operator=(const ModalDriver &) = delete;

    // Every message box seen, as "title|text", in order.
    QStringList boxes;
    // Object names of the other dialogs seen, file dialogs aside, in order.
    QStringList dialogs;
    // How many file dialogs were seen.
    int fileDialogs = 0;

    // Pressed on the next message boxes, one each, where the box has that button.
    QList<QMessageBox::StandardButton> boxAnswers;
    // Pressed when no queued answer fits; failing that OK, then the box's escape button.
    QMessageBox::StandardButton boxAnswer = QMessageBox::Ok;

    // Answers the next dialog whose object name or class is `dialog`.
    void Queue(const QString &dialog, Handler handler);
    // Answers every such dialog that no queued handler takes. A dialog nobody answers is rejected.
    void Always(const QString &dialog, Handler handler);

    QStringList Titles() const;
    QStringList Texts() const;
    // Forgets what was seen; queued answers stay.
    void ClearSeen();

    static QAbstractButton *Button(QDialog *dialog, QDialogButtonBox::StandardButton which);
    // Types the texts into the login dialog and presses OK.
    static Handler Login(const QString &server, const QString &user, const QString &password);
    // Types the text into the password dialog and presses OK; a null text presses Cancel.
    static Handler Password(const QString &text);
    // Answers a file dialog with `path`; an empty path cancels it.
    static Handler File(const QString &path);
    // Types `path` into the dialog's name field, where a person types it, and accepts. selectFile()
    // alone leaves the field as it was once the field has the focus, and the dialog then never closes.
    static void AnswerFileDialog(QFileDialog *dialog, const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Poll();
    void AnswerBox(QMessageBox *box);
    void AnswerDialog(QDialog *dialog, bool seenBefore);
    Handler TakeHandler(QDialog *dialog);
    bool Busy(QWidget *widget) const;

    QTimer timer;
    QList<QPair<QString, Handler>> queued;
    QList<QPair<QString, Handler>> standing;
    // Windows being answered; one leaves the list when it hides, so a dialog shown again is answered again.
    QList<QPointer<QWidget>> answering;
    // Dialogs whose handler asked to be called again.
    QList<QPair<QPointer<QDialog>, Handler>> unfinished;
};
