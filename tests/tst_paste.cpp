// Pasting into the send box on a real X display (tests/on_xvfb.sh starts one
// of its own, where nobody owns the clipboard or the selection): every way
// of pasting inserts the text when there is some, and nothing, without
// failing, when the program that held it has gone.

#include "FormFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

class TestPaste : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    void everyWayOfPasting_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("content"); // empty: nobody owns the clipboard
        for (const char *way : {"Ctrl+V", "Shift+Insert", "middle click", "Incolla", "drop"}) {
            QTest::addRow("%s, nobody owns the clipboard", way) << QString::fromLatin1(way) << QString();
            QTest::addRow("%s, text there", way) << QString::fromLatin1(way) << QStringLiteral(" incollato");
        }
    }
    void everyWayOfPasting()
    {
        QFETCH(QString, way);
        QFETCH(QString, content);
        FormFixture f;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        QPlainTextEdit *box = f.ui->Text1;
        box->setPlainText(QStringLiteral("abc"));
        box->moveCursor(QTextCursor::End);
        const QPoint end(box->viewport()->width() - 2, box->viewport()->height() - 2);

        QClipboard *clipboard = QGuiApplication::clipboard();
        const QClipboard::Mode mode
            = way == QLatin1String("middle click") ? QClipboard::Selection : QClipboard::Clipboard;
        // The menu is opened while there is something to paste; it goes away
        // (its owner ends) before "Incolla" is chosen.
        clipboard->setText(way == QLatin1String("Incolla") ? QStringLiteral("soon gone") : content, mode);
        std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        QAction *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
        QVERIFY(paste);
        clipboard->setText(content, mode);
        if (content.isEmpty()) {
            clipboard->clear(mode); // no owner at all
            QVERIFY(clipboard->mimeData(mode) == nullptr || clipboard->mimeData(mode)->formats().isEmpty());
        }

        if (way == QLatin1String("Ctrl+V")) {
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        } else if (way == QLatin1String("Shift+Insert")) {
            QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
        } else if (way == QLatin1String("middle click")) {
            QTest::mouseClick(box->viewport(), Qt::MiddleButton, {}, end);
        } else if (way == QLatin1String("Incolla")) {
            paste->trigger();
        } else {
            QMimeData dropped;
            if (!content.isEmpty())
                dropped.setText(content);
            QDragEnterEvent enter(end, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box->viewport(), &enter);
            QDropEvent drop(QPointF(end), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(box->viewport(), &drop);
        }
        QCOMPARE(box->toPlainText(), QStringLiteral("abc") + content);
        clipboard->clear(mode);
    }
};

QTEST_MAIN(TestPaste)
#include "tst_paste.moc"
