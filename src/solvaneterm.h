// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SOLVANETERM_H
#define SOLVANETERM_H

#include "ui_dovik.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QString>

class DovikView;
class FunctionDlg;
class HexView;
class QCloseEvent;
class QEvent;
class QShowEvent;
class QTimer;
class SerialPort;

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
    QList<QPair<int, QString>> getFunctionString() const;
    QList<QPair<int, bool>> getFunctionCheckCR() const;
    QList<QPair<int, bool>> getFunctionCheckLF() const;

    void waitForBytesWritten(int ms);
    void waitForWritten(int ms);
    bool isConnected() const;
    void statusMsg(const QString &msg);

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

private:
    void readSettings();
    void writeSettings();
    // On failure, *failure (when given) says why the port would not open.
    bool openSolvaneDevice(const QStringList &ports, QString *failure = nullptr);
    void closeSolvaneDevice();
    // The not-found status and debug line, then closeSolvaneDevice().
    void reportDeviceLost();

    bool sendByteByByte(const QByteArray &bytes);

    // Tests reach the private state through this class.
    friend class SolvaneTermTestAccess;

    Ui_Dovik ui;
    QList<QPair<int, QString>> functionString;
    QList<QPair<int, bool>> functionCheckLF;
    QList<QPair<int, bool>> functionCheckCR;
    QPointer<FunctionDlg> functionDlg;
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
};

#endif // SOLVANETERM_H
