// A termination request from outside closes the main window on the GUI
// thread, whatever threads the program (or the Firebird engine) has started;
// a program started from here can still be ended the usual way.

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <csignal>

#include "app/SessionEnd.h"

class TestSessionEnd : public QObject {
    Q_OBJECT

private slots:
    void signalFromOutsideClosesTheWindow() {
        QWidget window;
        window.show();
        CloseOnTerminationRequest(&window);

        // Sent while a worker thread runs: it must not be the one to take it.
        QThread worker;
        worker.start();
        for (const int signal : {SIGTERM, SIGINT}) {
            window.show();
            QVERIFY(window.isVisible());
            ::kill(::getpid(), signal);
            QTRY_VERIFY(!window.isVisible());
        }
        worker.quit();
        worker.wait();
    }

    void childProcessCanBeTerminated() {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("mask"));
        QVERIFY(QProcess::startDetached(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("grep SigBlk /proc/self/status > '%1'").arg(out)}));
        QTRY_VERIFY(QFile(out).size() > 0);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray line = file.readAll().trimmed();
        bool ok = false;
        const qulonglong blocked = line.mid(line.indexOf(':') + 1).trimmed().toULongLong(&ok, 16);
        QVERIFY2(ok, line.constData());
        QCOMPARE(blocked & (1ULL << (SIGTERM - 1)), 0ULL);
        QCOMPARE(blocked & (1ULL << (SIGINT - 1)), 0ULL);
    }
};

int main(int argc, char* argv[]) {
    HoldTerminationSignals();
    QApplication app(argc, argv);
    TestSessionEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessionend.moc"
