// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REPAINTPACER_H
#define REPAINTPACER_H

#include <QElapsedTimer>
#include <QObject>

class QTimer;
class QWidget;

// Holds a window's repaints to about the rate of a display. Whatever asks for a repaint within a
// frame of the last one waits for the next frame, and is painted then together with everything
// else that changed meanwhile: a device that sends hundreds of small blocks a second costs one
// repaint per frame, not one per block.
class RepaintPacer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RepaintPacer)

public:
    explicit RepaintPacer(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void requestRepaint();

    QWidget *window;
    QTimer *nextFrame;
    QElapsedTimer sinceRepaint;
};

#endif // REPAINTPACER_H
