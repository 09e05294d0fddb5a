// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SOLVANETERM_H
#define SOLVANETERM_H

#include "ui_dovik.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QString>

#include <memory>

class ByteFinder;
class DovikView;
class FunctionDlg;
class HexView;
class QAction;
class QLabel;
class QLineEdit;
class QCloseEvent;
class QEvent;
class QShowEvent;
class QTimer;
class SerialPort;
class FindBar;
class SessionLogWriter;
class TransmitQueue;

extern QString windtitle;

// The main window: finds the device, moves bytes between it and the two views, and keeps the
// function key table and the user's settings.
class SolvaneTerm : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(SolvaneTerm)

public:
    explicit SolvaneTerm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SolvaneTerm() override;

    int getDelay() const;
    // The pause after each line feed of a file being sent, in milliseconds.
    int getLinePause() const;
    QList<QPair<int, QString>> getFunctionString() const;
    QList<QPair<int, bool>> getFunctionCheckCR() const;
    QList<QPair<int, bool>> getFunctionCheckLF() const;

    void waitForBytesWritten(int ms);
    void waitForWritten(int ms);
    bool isConnected() const;
    void statusMsg(const QString &msg);
    // Records every byte received from now on at the end of the file, or in place of what it
    // held; false, with the reason shown to the user, when the file cannot be opened.
    bool startSessionLog(const QString &path, bool replace = false);
    // Queues the file's bytes after whatever is being sent; false, with the reason shown to the
    // user, when it cannot be read.
    bool sendFile(const QString &path);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void about();
    void functionSetting();
    void acceptFunction();
    void applyFunction();
    void saveCapture();
    void clearScreen();
    void keyInput(int key, QString text);
    void readComm();
    void checkConnection();
    void setHexamode(bool on);
    void setEnterWithCR(bool on);
    void chooseSessionLog(bool on);
    void chooseSessionLogFolder(bool on);
    void showSessionLogState();
    void chooseFileToSend();
    void copySelection();
    void openFindBar();
    void pasteToDevice();
    void stopSending();
    void showSendingState();

private:
    void readSettings();
    void writeSettings();
    // On failure, *failure (when given) says why the port would not open.
    bool openSolvaneDevice(const QStringList &ports, QString *failure = nullptr);
    void closeSolvaneDevice();
    // The not-found status and debug line, then closeSolvaneDevice().
    void reportDeviceLost();

    void setUpTransmitQueue();
    void setUpFindBar();
    // The find bar's text field while it has the keyboard.
    QLineEdit *findField() const;
    // Again: from the current match's start, as when the field was edited.
    enum class HexStep { Again, Next, Previous };
    void findBytes(const QByteArray &bytes, HexStep step);
    // For a few seconds in place of the progress.
    void showSendingNote(const QString &note);
    void reportSendFileProblem(
        const QString &path, const QString &reason, qint64 sent, qint64 total);

    // A new file in the session log folder for the connection just opened.
    void startFolderLog();
    void stopFolderLog();
    void adoptSessionLog(std::unique_ptr<SessionLogWriter> opened, QPointer<SessionLogWriter> &slot,
        QAction *action);
    void logReceived(const QByteArray &block);
    void reportSessionLogProblem(const QString &what, const QString &where, const QString &why);
    // A label at the right of the status bar, beside the device state, made on first use.
    QLabel *permanentLabel(QLabel *&label, const QString &objectName);
    // A message box from the event loop, not from inside a device check or a receive, which the
    // box would hold open while further checks and receives run under it.
    void showProblemSoon(const QString &title, const QString &text);

    // Tests reach the private state through this class.
    friend class SolvaneTermTestAccess;

    Ui_Dovik ui;
    QList<QPair<int, QString>> functionString;
    QList<QPair<int, bool>> functionCheckLF;
    QList<QPair<int, bool>> functionCheckCR;
    QPointer<FunctionDlg> functionDlg;
    // The window position as the settings held it at start.
    QPoint storedPos;
    DovikView *termView;
    HexView *hexEdit;
    int delay;
    SerialPort *serialPort;
    QTimer *connectionTimer;
    bool deviceFound;
    bool deviceWasFound;
    bool deviceChecked;
    bool shownOnce;
    bool hexamode;
    bool enterWithCR;
    // One file for as long as the user wants it, and one per connection in a folder.
    QPointer<SessionLogWriter> fileLog;
    QPointer<SessionLogWriter> folderLog;
    QString sessionLogFolder;
    QTimer *sessionLogClock = nullptr;
    QLabel *sessionLogStatus = nullptr;
    // The last failure of a log, shown until a log is started again.
    QString sessionLogProblem;
    TransmitQueue *transmitQueue = nullptr;
    FindBar *findBar = nullptr;
    // The hex find bar's search over the hex view's bytes.
    ByteFinder *byteFinder = nullptr;
    // Bytes given to the hex view since it was last cleared, dropped ones included.
    qint64 hexReceived = 0;
    int linePause = 0;
    QTimer *sendingClock = nullptr;
    QLabel *sendingStatus = nullptr;
    QString sendingNote;
};

#endif // SOLVANETERM_H
