// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogscript.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int pollMs = 10;
constexpr int patienceMs = 10000;

} // namespace

DialogScript::DialogScript(QList<Step> steps)
    : steps(std::move(steps))
{
    connect(&poll, &QTimer::timeout, this, &DialogScript::look);
    poll.start(pollMs);
}

void DialogScript::look()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (modal == current) {
        if (upFor.elapsed() > patienceMs) {
            gaveUp = true;
            modal->close();
        }
        return;
    }
    // The file dialog is briefly the active modal widget again after its overwrite question is
    // answered; it is the same dialog, not a new one.
    if (answered.contains(modal))
        return;
    answered.append(modal);
    current = modal;
    upFor.start();
    record.append(describe(modal));
    const Step step = steps.isEmpty() ? Step([](QWidget *w) { w->close(); }) : steps.takeFirst();
    // Answered from the event loop rather than from here: an answer may open the next dialog,
    // whose loop must still see this timer.
    QPointer<QWidget> target(modal);
    QTimer::singleShot(0, this, [step, target] {
        if (target)
            step(target);
    });
}

SeenDialog DialogScript::describe(QWidget *modal)
{
    SeenDialog dialog;
    dialog.className = QString::fromLatin1(modal->metaObject()->className());
    dialog.title = modal->windowTitle();
    dialog.parent = modal->parentWidget();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        dialog.text = box->text();
        dialog.icon = box->icon();
        dialog.buttons = box->standardButtons();
    }
    if (auto *files = qobject_cast<QFileDialog *>(modal)) {
        dialog.nameFilters = files->nameFilters();
        dialog.selectedNameFilter = files->selectedNameFilter();
        dialog.directory = files->directory().absolutePath();
        dialog.defaultSuffix = files->defaultSuffix();
        dialog.acceptMode = files->acceptMode();
    }
    return dialog;
}

Step saveAs(const QString &name)
{
    return [name](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        auto *edit
            = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
        auto *buttons = dialog ? dialog->findChild<QDialogButtonBox *>() : nullptr;
        if (!edit || !buttons) {
            modal->close();
            return;
        }
        edit->clear();
        QTest::keyClicks(edit, name);
        if (edit->completer() && edit->completer()->popup())
            edit->completer()->popup()->hide();
        if (QPushButton *save = buttons->button(QDialogButtonBox::Save))
            save->click();
        else
            modal->close();
    };
}

Step cancel()
{
    return [](QWidget *modal) {
        auto *buttons = modal->findChild<QDialogButtonBox *>();
        if (QPushButton *button = buttons ? buttons->button(QDialogButtonBox::Cancel) : nullptr)
            button->click();
        else
            modal->close();
    };
}

Step press(QMessageBox::StandardButton which)
{
    return [which](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (QAbstractButton *button = box ? box->button(which) : nullptr)
            button->click();
        else
            modal->close();
    };
}

Step before(const std::function<void()> &action, const Step &step)
{
    return [action, step](QWidget *modal) {
        action();
        step(modal);
    };
}

Step finish(bool accept, const std::function<void(QDialog *)> &setUp)
{
    return [accept, setUp](QWidget *modal) {
        auto *dialog = qobject_cast<QDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        if (setUp)
            setUp(dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    };
}
