// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class PtyDevice;
class QSocketNotifier;

// The simulator's command interpreter: keeps the set of simulated devices, mirrors the plugged
// ones into the device list file that the answering library reads, and takes one command per
// line from standard input and, optionally, from a named pipe.
class Simulator : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Simulator)

public:
    explicit Simulator(const QString &listFile, QObject *parent = nullptr);
    ~Simulator() override;

    void listenOn(int fd);
    bool addDevice(const QString &name, const QString &vendor, const QString &product);
    QString nextDeviceName() const;
    void execute(const QString &line);

signals:
    void quitRequested();

private:
    void readCommands(int fd);
    PtyDevice *device(const QString &name) const;
    bool plugDevice(PtyDevice *device);
    void writeListFile();
    void printList() const;
    void printHelp() const;

    QString listFile;
    QList<PtyDevice *> devices;
    QList<QSocketNotifier *> inputs;
    QHash<int, QByteArray> partialLines;
    int devicesMade = 0;
};
