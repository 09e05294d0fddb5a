// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DIALOGSCRIPT_H
#define DIALOGSCRIPT_H

#include <QElapsedTimer>
#include <QFileDialog>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

// What one modal dialog showed when it came up.
struct SeenDialog
{
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList nameFilters;
    QString selectedNameFilter;
    QString directory;
    QString defaultSuffix;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QWidget *parent = nullptr;
};

using Step = std::function<void(QWidget *)>;

// Plays the user's part in the modal dialogs that a handler opens, one after the other: each
// dialog that comes up is recorded and answered by the next step, from inside the dialog's own
// event loop. A dialog with no step left, or one still up after ten seconds, is closed so that
// a wrong handler fails the test instead of hanging it. Make the script, then run the handler.
class DialogScript : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DialogScript)

public:
    explicit DialogScript(QList<Step> steps);

    QList<SeenDialog> seen() const { return record; }
    bool stuck() const { return gaveUp; }

private:
    void look();
    static SeenDialog describe(QWidget *modal);

    QTimer poll;
    QList<Step> steps;
    QPointer<QWidget> current;
    QList<QPointer<QWidget>> answered;
    QElapsedTimer upFor;
    QList<SeenDialog> record;
    bool gaveUp = false;
};

// Types the name into the file dialog as a user would and presses Save.
Step saveAs(const QString &name);
// Presses Cancel in a dialog with a button box.
Step cancel();
// Presses this button of a message box.
Step press(QMessageBox::StandardButton which);
// Does something first, while the dialog is up, then answers it.
Step before(const std::function<void()> &action, const Step &step);
// Accepts (or rejects) a dialog after setting it up.
Step finish(bool accept, const std::function<void(QDialog *)> &setUp = nullptr);

#endif // DIALOGSCRIPT_H
