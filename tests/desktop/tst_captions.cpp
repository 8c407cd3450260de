// What the window system is given as the caption of a window that has none
// (the destination chooser, the server window): the title bar reads empty,
// not the application's name that the platform puts into an empty title.

#include <QLabel>

#include "DesktopKit.h"
#include "db/FData.h"
#include "plan/FDestino.h"
#include "plan/FServidoresForm.h"

using namespace desktop;

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void windowsWithoutCaptionReadEmpty() {
        QCoreApplication::setApplicationName(QStringLiteral("Quillbase Backup"));
        TData data(QStringLiteral("x"));
        TDestino chooser;
        TServidoresForm servers(data, {}, BackupPlan(), std::nullopt);
        const QRegularExpression blank(QStringLiteral("= \"\\s*\"$"));
        for (QDialog* window : std::initializer_list<QDialog*>{&chooser, &servers}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QString name = Property(window->winId(), QStringLiteral("_NET_WM_NAME"));
            QVERIFY2(blank.match(name).hasMatch(), qPrintable(name));
            const QString legacy = Property(window->winId(), QStringLiteral("WM_NAME"));
            QVERIFY2(legacy.isEmpty() || blank.match(legacy).hasMatch(), qPrintable(legacy));
            QVERIFY(window->windowTitle().isEmpty());
        }
    }
};

QB_DESKTOP_TEST_MAIN(TestCaptions)
#include "tst_captions.moc"
