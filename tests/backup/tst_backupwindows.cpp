// The three windows of the backup run as an operator meets them: their
// texts, colours, sizes and places, and how each one ends.

#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "RunTestKit.h"
#include "backup/FCondicionesBackup.h"
#include "backup/FErrorenCopia.h"
#include "backup/FProgreso.h"
#include "backup/RunWindows.h"

using namespace Qt::StringLiterals;

namespace {

const QColor kNavy(0, 0, 128);
const QColor kMaroon(128, 0, 0);

QColor TextColour(const QWidget* widget) { return widget->palette().color(QPalette::WindowText); }

// The centre of a window's client area lies within a few pixels of `point`.
bool CentredAt(const QWidget* window, const QPoint& point) {
    const QPoint offset = window->geometry().center() - point;
    return offset.manhattanLength() <= 40;
}

}  // namespace

class TestBackupWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QuietOffscreenPlatform(); }

    void progressWindowIsAPlainResizableMemoWithoutButtons() {
        FakeMainWindow main;
        TProgreso window;
        QCOMPARE(window.objectName(), QStringLiteral("Progreso"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Progreso"));
        QCOMPARE(window.Memo1->toPlainText(), QStringLiteral("Memo1"));
        QCOMPARE(window.size(), QSize(546, 206));
        QVERIFY(window.isWindow());
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                !flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(window.minimumSize() != window.maximumSize());
        QVERIFY(CentredAt(&window, main.window.geometry().center()));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.isModal());
        QCOMPARE(window.Memo1->geometry(), window.rect());
        // Found among the application's windows by its instance name while
        // it exists.
        bool found = false;
        for (QWidget* top : QApplication::topLevelWidgets())
            found |= top->objectName() == u"Progreso";
        QVERIFY(found);
    }

    void confirmationShowsOriginAndDestination() {
        FakeMainWindow main;
        TCondicionesBackup window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Copia de seguridad"));
        QCOMPARE(window.size(), QSize(561, 287));
        QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(window.minimumSize() != window.maximumSize());
        QVERIFY(CentredAt(&window, main.window.geometry().center()));

        QCOMPARE(window.Label7->text(), QStringLiteral("Configuración de la copia"));
        QCOMPARE(
            (QStringList{window.Label8->text(), window.label1->text(), window.Label3->text(),
                         window.Label9->text(), window.Label10->text(), window.Label5->text()}),
            (QStringList{QStringLiteral("ORIGEN"), QStringLiteral("Servidor"),
                         QStringLiteral("Empresa"), QStringLiteral("DESTINO"),
                         QStringLiteral("Servidor"), QStringLiteral("Destino")}));
        QCOMPARE(window.Shape1->Colour(), QColor(0, 128, 64));
        QCOMPARE(window.Shape2->Colour(), QColor(87, 136, 176));
        for (QLabel* value : {window.Label2, window.Label4, window.Label11, window.Label6})
            QCOMPARE(TextColour(value), kNavy);
        QVERIFY(!window.Image1->pixmap().isNull());
        // Cancelar and Continuar side by side at the bottom right.
        QCOMPARE(window.BitBtn2->text(), QStringLiteral("Continuar"));
        QCOMPARE(window.BitBtn1->text(), QStringLiteral("Cancelar"));
        QVERIFY(window.BitBtn1->geometry().right() < window.BitBtn2->x());
        QVERIFY(window.width() - window.BitBtn2->geometry().right() < 20);
        QVERIFY(window.height() - window.BitBtn2->geometry().bottom() < 20);
    }

    void confirmationAnswersByKeyAndButton() {
        struct Case {
            const char* name;
            std::function<void(TCondicionesBackup*)> act;
            int answer;
        };
        const QList<Case> cases = {
            {"Enter", [](TCondicionesBackup* w) { QTest::keyClick(w, Qt::Key_Return); },
             QDialog::Accepted},
            {"Escape", [](TCondicionesBackup* w) { QTest::keyClick(w, Qt::Key_Escape); },
             QDialog::Rejected},
            {"Continuar", [](TCondicionesBackup* w) { w->BitBtn2->click(); }, QDialog::Accepted},
            {"Cancelar", [](TCondicionesBackup* w) { w->BitBtn1->click(); }, QDialog::Rejected},
            {"Enter on Cancelar",
             [](TCondicionesBackup* w) {
                 w->BitBtn1->setFocus();
                 QTest::keyClick(w->BitBtn1, Qt::Key_Return);
             },
             QDialog::Rejected},
            {"Enter on Continuar",
             [](TCondicionesBackup* w) {
                 w->BitBtn1->setFocus();
                 w->BitBtn2->setFocus();
                 QTest::keyClick(w->BitBtn2, Qt::Key_Enter);
             },
             QDialog::Accepted},
        };
        for (const Case& c : cases) {
            TCondicionesBackup window;
            QWidget* focused = nullptr;
            ModalAnswers answer([&](QWidget* modal) {
                focused = QApplication::focusWidget();
                c.act(static_cast<TCondicionesBackup*>(modal));
            });
            QVERIFY2(window.exec() == c.answer, c.name);
            QVERIFY2(focused == window.BitBtn2, c.name);  // first in the tab order
        }
    }

    void errorWindowStaysOnTopUntilItsFrameClosesIt() {
        TErrorenCopia window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Quillbase Backup"));
        QCOMPARE(window.size(), QSize(627, 108));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        const Qt::WindowFlags flags = window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                !flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(window.autoFillBackground());
        QVERIFY(CentredAt(&window, QGuiApplication::primaryScreen()->availableGeometry().center()));
        QVERIFY(window.findChildren<QPushButton*>().isEmpty());

        QCOMPARE(window.Label6->text(),
                 QStringLiteral("Error en la copia, verifique que el disco no esté lleno"));
        QCOMPARE(window.Label2->text(),
                 QStringLiteral("la copia automática ha quedado interrumpida"));
        QCOMPARE(window.Label1->text(), QStringLiteral("Mensaje : "));
        for (QLabel* label : {window.Label6, window.Label2, window.Label1})
            QCOMPARE(TextColour(label), kMaroon);
        QVERIFY(window.Label6->font().pixelSize() > window.Label2->font().pixelSize());
        QVERIFY(window.Label2->font().pixelSize() > window.Label1->font().pixelSize());
        QVERIFY(!window.Image1->pixmap().isNull());

        // Escape does nothing; closing the frame ends the modal wait.
        int escaped = -1;
        ModalAnswers close([&](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            escaped = modal->isVisible();
            modal->close();
        });
        QCOMPARE(window.exec(), int(QDialog::Rejected));
        QCOMPARE(escaped, 1);
    }

    // A verification failure as the server words it: several lines and a
    // whole path, wider than the window.
    void errorWindowShowsTheWholeMessage() {
        const QString path = u"/srv/copias/"_s + QString(30, u'x') + u"/"_s + QString(40, u'y') +
                             u"/"_s + QString(30, u'z') + u"/Verificacopia.vrf"_s;
        const QString error = u"I/O error during \"open\" operation for file \""_s + path +
                              u"\"\n-Error while trying to open file\n"
                              u"-No such file or directory\n-Exiting before completion due to "
                              u"errors"_s;
        TErrorenCopia window;
        window.Label1->setText(QStringLiteral("Mensaje : ") + error);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.width(), 627);
        QVERIFY2(window.height() > 108, qPrintable(QString::number(window.height())));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(window.geometry()));
        QVERIFY(CentredAt(&window, QGuiApplication::primaryScreen()->availableGeometry().center()));
        QCOMPARE(window.Label1->text(), QStringLiteral("Mensaje : ") + error);
        QCOMPARE(TextColour(window.Label1), kMaroon);

        // Four lines of its own, the first one broken inside the path: at
        // least five lines, all inside the window and below the picture.
        const QRect message(window.Label1->mapTo(&window, QPoint(0, 0)), window.Label1->size());
        QVERIFY(window.rect().contains(message));
        QVERIFY(message.top() > window.Image1->geometry().bottom());
        QVERIFY(message.height() >= 5 * QFontMetrics(window.Label1->font()).lineSpacing());
        QVERIFY(window.Label1->visibleRegion().boundingRect() == window.Label1->rect());

        // Text is drawn down to the last line, and not beyond the window's
        // right edge.
        const QImage drawn = window.grab().toImage();
        const auto inked = [&](const QRect& area) {
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    if (qRed(drawn.pixel(x, y)) - qGreen(drawn.pixel(x, y)) > 60) return true;
            return false;
        };
        const int line = QFontMetrics(window.Label1->font()).lineSpacing();
        QVERIFY(inked(QRect(message.left(), message.bottom() - line, message.width(), line)));
        QVERIFY(!inked(QRect(message.right() + 1, message.top(), window.width() - message.right() - 1,
                             message.height())));

        // A short message keeps the window's own size.
        TErrorenCopia small;
        small.Label1->setText(QStringLiteral("Mensaje : ") + u"disk full"_s);
        small.show();
        QVERIFY(QTest::qWaitForWindowExposed(&small));
        QCOMPARE(small.size(), QSize(627, 108));
    }
};

QTEST_MAIN(TestBackupWindows)
#include "tst_backupwindows.moc"
