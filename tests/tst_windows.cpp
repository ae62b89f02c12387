// Windows inside the main window: where they open.
#include "basGlobal.h"
#include "fMain.h"
#include "Operators.h"
#include "ScriptedDialogs.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"
#include "WindowHost.h"

#include <QIcon>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(QList<QPoint>)

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cascadePosition_data() {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QList<QPoint>>("taken");
        QTest::addColumn<QPoint>("expected");
        // The area is 1000 x 600, the step 20.
        QTest::newRow("first at the corner") << QSize(400, 300) << QList<QPoint>{} << QPoint(0, 0);
        QTest::newRow("next step down") << QSize(400, 300) << QList<QPoint>{{0, 0}} << QPoint(20, 20);
        QTest::newRow("first free step")
            << QSize(400, 300) << QList<QPoint>{{0, 0}, {40, 40}} << QPoint(20, 20);
        QTest::newRow("corner freed again") << QSize(400, 300) << QList<QPoint>{{20, 20}} << QPoint(0, 0);
        QTest::newRow("others off the cascade")
            << QSize(400, 300) << QList<QPoint>{{1130, 0}} << QPoint(0, 0);
        QTest::newRow("last step touches the bottom")
            << QSize(400, 560) << QList<QPoint>{{0, 0}, {20, 20}} << QPoint(40, 40);
        QTest::newRow("round again past the bottom")
            << QSize(400, 560) << QList<QPoint>{{0, 0}, {20, 20}, {40, 40}} << QPoint(0, 0);
        QTest::newRow("round again past the right edge")
            << QSize(990, 300) << QList<QPoint>{{0, 0}} << QPoint(0, 0);
        QTest::newRow("exactly the area") << QSize(1000, 600) << QList<QPoint>{{0, 0}} << QPoint(0, 0);
        QTest::newRow("wider than the area") << QSize(1200, 300) << QList<QPoint>{{0, 0}} << QPoint(0, 0);
        QTest::newRow("taller than the area") << QSize(400, 900) << QList<QPoint>{{0, 0}} << QPoint(0, 0);
    }
    void cascadePosition() {
        QFETCH(QSize, window);
        QFETCH(QList<QPoint>, taken);
        QFETCH(QPoint, expected);
        QCOMPARE(CascadePosition(QSize(1000, 600), window, taken, 20), expected);
    }

    void windowsOpenInViewOfTheMainWindow() {
        TempConfigDir config;
        const auto db = TestDatabase::create(TestDatabase::Kind::Local);
        gConn.Open(db->connectionString());
        LogInAs();
        ScriptedDialogs dialogs;
        {
            fMain window;
            window.resize(1024, 720);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            auto* area = window.findChild<QMdiArea*>();
            const QRect inView(QPoint(0, 0), area->viewport()->size());
            window.mnuZLZS_Click();
            window.mnuZSCX_Click();
            window.mnuDaoQi_Click(); // the widest window
            const QList<QMdiSubWindow*> frames = area->subWindowList();
            QCOMPARE(frames.size(), 3);
            // Each wholly in view, its buttons within reach, with the program's own icon.
            const QImage icon = QIcon(QStringLiteral(":/orvanta.svg")).pixmap(16).toImage();
            QVERIFY(!icon.isNull());
            for (QMdiSubWindow* frame : frames) {
                const QString name = frame->widget()->objectName();
                QVERIFY2(inView.contains(frame->geometry()), qPrintable(name));
                for (QPushButton* button : frame->widget()->findChildren<QPushButton*>())
                    if (button->isVisible())
                        QVERIFY2(inView.contains(QRect(button->mapTo(area->viewport(), QPoint(0, 0)), button->size())),
                                 qPrintable(name + QLatin1Char(' ') + button->objectName()));
                QCOMPARE(frame->windowIcon().pixmap(16).toImage(), icon);
            }
            QCOMPARE(frames[0]->pos(), QPoint(0, 0));
            QVERIFY(frames[1]->x() > 0 && frames[1]->x() == frames[1]->y());
        } // the windows go with the main window
        LogOut();
        gConn.Close();
    }

    // A form placed by hand has no layout to shrink: in a main window too small for it, it keeps
    // every button within its frame (the area scrolls) instead of being cut off.
    void aFormPlacedByHandIsNeverCutOff() {
        TempConfigDir config;
        const auto db = TestDatabase::create(TestDatabase::Kind::Local);
        gConn.Open(db->connectionString());
        LogInAs();
        ScriptedDialogs dialogs;
        {
            fMain window;
            window.resize(500, 360);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.mnuZLZS_Click();
            QMdiSubWindow* frame = window.findChild<QMdiArea*>()->subWindowList().first();
            const QList<QPushButton*> buttons = frame->widget()->findChildren<QPushButton*>();
            QVERIFY(!buttons.isEmpty());
            for (QPushButton* button : buttons)
                QVERIFY2(frame->contentsRect().contains(QRect(button->mapTo(frame, QPoint(0, 0)), button->size())),
                         qPrintable(button->objectName()));
        }
        LogOut();
        gConn.Close();
    }
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
