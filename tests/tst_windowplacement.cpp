// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowplacement.h"

#include <QTest>

#include <climits>

namespace {

const QSize minimum(640, 480);
const int titleBar = 25;

// The offscreen platform's one screen, on which the other tests run.
const QVector<QRect> offscreen = {QRect(0, 0, 800, 600)};
// A primary screen with a 30-pixel panel at its top, and a taller one to its right.
const QVector<QRect> desk = {QRect(0, 30, 1920, 1050), QRect(1920, 0, 1280, 1024)};
// A second screen to the left of the primary one, at negative coordinates.
const QVector<QRect> leftOfPrimary = {QRect(0, 0, 1920, 1080), QRect(-1280, 0, 1280, 1024)};

} // namespace

// Where a window goes for a stored position and size, on a few screen layouts.
class tst_WindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void platformsThatPlaceWindows_data();
    void platformsThatPlaceWindows();
};

void tst_WindowPlacement::placement_data()
{
    QTest::addColumn<QVector<QRect>>("screens");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("placedPos");
    QTest::addColumn<QSize>("placedSize");

    const QSize standard(800, 600);
    QTest::newRow("first start") << offscreen << QPoint(25, 25) << standard << QPoint(25, 25)
                                 << standard;
    QTest::newRow("partly off the left, title bar in reach")
        << offscreen << QPoint(-40, 30) << standard << QPoint(-40, 30) << standard;
    QTest::newRow("just enough title bar on the right")
        << offscreen << QPoint(700, 100) << standard << QPoint(700, 100) << standard;
    QTest::newRow("on the second screen")
        << desk << QPoint(2000, 100) << QSize(1024, 768) << QPoint(2000, 100) << QSize(1024, 768);
    QTest::newRow("across two screens")
        << desk << QPoint(1500, 100) << QSize(1200, 700) << QPoint(1500, 100) << QSize(1200, 700);
    QTest::newRow("on a screen left of the primary")
        << leftOfPrimary << QPoint(-1200, 10) << QSize(1000, 700) << QPoint(-1200, 10)
        << QSize(1000, 700);
    QTest::newRow("below the minimum size")
        << offscreen << QPoint(25, 25) << QSize(1, 1) << QPoint(25, 25) << minimum;

    QTest::newRow("100000 x 100000")
        << offscreen << QPoint(25, 25) << QSize(100000, 100000) << QPoint(25, 25) << standard;
    QTest::newRow("largest int size")
        << offscreen << QPoint(25, 25) << QSize(INT_MAX, INT_MAX) << QPoint(25, 25) << standard;
    QTest::newRow("largest int position")
        << offscreen << QPoint(INT_MAX, INT_MAX) << standard << QPoint(0, 0) << standard;
    QTest::newRow("smallest int position")
        << offscreen << QPoint(INT_MIN, INT_MIN) << standard << QPoint(0, 0) << standard;
    QTest::newRow("largest int everything") << offscreen << QPoint(INT_MAX, INT_MAX)
                                            << QSize(INT_MAX, INT_MAX) << QPoint(0, 0) << standard;
    QTest::newRow("(5000, 10)") << offscreen << QPoint(5000, 10) << standard << QPoint(0, 10)
                                << standard;
    QTest::newRow("(-9999, -9999)")
        << offscreen << QPoint(-9999, -9999) << standard << QPoint(0, 0) << standard;
    QTest::newRow("title bar above the screen")
        << offscreen << QPoint(-40, -30) << standard << QPoint(-40, 0) << standard;
    QTest::newRow("title bar under a top panel")
        << desk << QPoint(100, 10) << QSize(1024, 768) << QPoint(100, 30) << QSize(1024, 768);
    QTest::newRow("title bar below the bottom")
        << desk << QPoint(100, 1070) << QSize(1024, 768) << QPoint(100, 287) << QSize(1024, 768);
    QTest::newRow("right of every screen")
        << desk << QPoint(5000, 100) << QSize(1024, 768) << QPoint(896, 100) << QSize(1024, 768);
    QTest::newRow("below the shorter screen, beside the taller")
        << desk << QPoint(2000, 1050) << standard << QPoint(2000, 399) << standard;
    QTest::newRow("larger than the screen it is on")
        << desk << QPoint(2000, 50) << QSize(1900, 1000) << QPoint(2000, 50) << QSize(1280, 1000);
    QTest::newRow("no screen known")
        << QVector<QRect>() << QPoint(5000, 10) << QSize(100, 100) << QPoint(5000, 10) << minimum;
}

void tst_WindowPlacement::placement()
{
    QFETCH(QVector<QRect>, screens);
    QFETCH(QPoint, pos);
    QFETCH(QSize, size);
    QFETCH(QPoint, placedPos);
    QFETCH(QSize, placedSize);

    const WindowPlacement placed = placeStoredWindow(pos, size, minimum, screens, titleBar);
    QCOMPARE(placed.pos, placedPos);
    QCOMPARE(placed.size, placedSize);
}

void tst_WindowPlacement::platformsThatPlaceWindows_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("places");

    QTest::newRow("X11") << "xcb" << true;
    QTest::newRow("offscreen") << "offscreen" << true;
    QTest::newRow("Wayland") << "wayland" << false;
    QTest::newRow("Wayland with EGL") << "wayland-egl" << false;
    QTest::newRow("Wayland, X composite") << "wayland-xcomposite-glx" << false;
}

void tst_WindowPlacement::platformsThatPlaceWindows()
{
    QFETCH(QString, platform);
    QFETCH(bool, places);
    QCOMPARE(platformPlacesWindows(platform), places);
}

QTEST_APPLESS_MAIN(tst_WindowPlacement)
#include "tst_windowplacement.moc"
