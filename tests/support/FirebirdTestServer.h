#pragma once
// A private Firebird server for one test program, for the tests that change
// SYSDBA's password, stop the server or restart it (the shared server of
// the CTest fixture FbServer must stay as it is for the other tests).
// It runs tests/fixtures/fbserver.sh in a QTemporaryDir: its own
// configuration, security database and locks, bound to one loopback
// address. The destructor stops it.
//
// Loopback addresses in use (each test program that starts servers takes
// addresses of its own, so that CTest can run test programs in parallel):
//
//   address      port  taken by
//   127.0.0.1    3050  tests/db/tst_localserver.cpp,
//                      tests/plan/tst_servidoresform.cpp,
//                      tests/backup/tst_retention.cpp and
//                      tests/install/office_test.sh (stand in for the server
//                      of this computer; skipped when that port is taken)
//   127.0.0.2    3050  the shared server of the fixture FbServer
//                      (tests/fixtures/CMakeLists.txt, QB_TEST_SERVER_*)
//   127.0.0.3    3050  tests/db/tst_sessions.cpp
//   127.0.0.5    3050  tests/backup/tst_backupservers.cpp (passwords)
//   127.0.0.6    3050  tests/backup/tst_backupservers.cpp (server stopped mid-run)
//   127.0.0.7-8  3050  tests/restore (restore runs)
//   127.0.0.9    3050  tests/app (end-to-end schedule)
//   127.0.0.10   3050  tests/backup/tst_backupfaults.cpp (full destination,
//                      server killed mid-run)
//   127.0.0.11   3050  tests/restore/tst_restorefaults.cpp (server killed
//                      mid-restore)
//   127.0.0.12   3050  tests/backup/tst_fallbackpasswords.cpp
//   127.0.0.14   3050  tests/desktop/tst_sessionstart.cpp (session start)
//   127.0.0.4    3050  next free: add a line here when you take it
//   127.0.0.20   3051  tests/fixtures/schema_fixture_test.sh (port form)
//   127.0.0.21   3052  tests/fixtures/tst_test_support.cpp (port form)
//
// Servers that a crashed test left behind on the same address are stopped
// by the next start().

#include <QString>
#include <QTemporaryDir>

#include <memory>

class FirebirdTestServer {
public:
    FirebirdTestServer();
    ~FirebirdTestServer();
    FirebirdTestServer(const FirebirdTestServer&) = delete;
    FirebirdTestServer& operator=(const FirebirdTestServer&) = delete;

    // Starts a server on ip:port with SYSDBA's password; waits until it
    // accepts connections (at most about 10 s). False on failure, with the
    // reason in lastError() and a qWarning.
    bool start(const QString& ip, const QString& password, int port = 3050);
    // Changes SYSDBA's password through the running server; the next
    // attachment needs the new one.
    bool setPassword(const QString& password);
    // Stops the server (SIGTERM, then SIGKILL after 3 s). True when it is
    // not running afterwards.
    bool stop();
    // Stops and starts again with the same address and current password.
    bool restart();
    bool isRunning() const;

    QString ip() const { return ip_; }
    int port() const { return port_; }
    QString password() const { return password_; }
    // The address as a client writes it: "127.0.0.4", or "127.0.0.4/3051"
    // for a port other than 3050.
    QString address() const;
    // address() + ":" + path, the name of a database on this server.
    QString databaseName(const QString& path) const;
    // "address:service_mgr".
    QString serviceName() const;
    // The server's folder (configuration, security database, server.log).
    QString dir() const;
    QString lastError() const { return lastError_; }

private:
    bool run(const QStringList& arguments);

    std::unique_ptr<QTemporaryDir> dir_;
    QString ip_;
    QString password_;
    int port_ = 3050;
    bool started_ = false;
    QString lastError_;
};
