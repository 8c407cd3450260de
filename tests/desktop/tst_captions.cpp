// What the window system is given as the caption of a window that has none:
// the destination chooser's title bar reads empty, not the application's
// name that the platform puts into an empty title.

#include <QLabel>
#include <QLineEdit>

#include "DesktopKit.h"
#include "plan/FDestino.h"

using namespace desktop;

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void destinationChooserHasNoCaption() {
        QCoreApplication::setApplicationName(QStringLiteral("Quillbase Backup"));
        TDestino chooser;
        chooser.Label2->setText(QStringLiteral("Servidor : []Local"));
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        const Wid id = chooser.winId();
        const QRegularExpression blank(QStringLiteral("= \"\\s*\"$"));
        const QString name = Property(id, QStringLiteral("_NET_WM_NAME"));
        QVERIFY2(blank.match(name).hasMatch(), qPrintable(name));
        const QString legacy = Property(id, QStringLiteral("WM_NAME"));
        QVERIFY2(legacy.isEmpty() || blank.match(legacy).hasMatch(), qPrintable(legacy));
        QVERIFY(chooser.windowTitle().isEmpty());
    }
};

QB_DESKTOP_TEST_MAIN(TestCaptions)
#include "tst_captions.moc"
