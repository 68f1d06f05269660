#pragma once
// A throwaway PostgreSQL server for the tests of the shared record store:
// initdb in a temporary folder, the server listening only on a Unix socket in
// that folder (no TCP), a database kv5x and a role station that logs in with a
// password. Run as root, the server runs as the postgres system user, which
// initdb and pg_ctl insist on; the test process stays root.
#include <QtCore>
#include <atomic>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

#include "platform/Desktop.h"

namespace kv::test {

class PgServer {
public:
    static constexpr const char* kDatabase = "kv5x";
    static constexpr const char* kRole = "station";
    static constexpr const char* kPassword = "station-pw";

    PgServer() { init("/usr/lib/postgresql"); }
    ~PgServer() {
        stop();
        if (!folder_.isEmpty()) QDir(folder_).removeRecursively();
        if (wrotePgpass_) QFile::remove(QDir::home().filePath(".pgpass"));
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool started() const { return running_; }
    // Why the server is not running, with the failing command's output.
    QString error() const { return error_; }
    QString socketDir() const { return folder_; }
    int port() const { return port_; }
    QString password() const { return kPassword; }

    // The server coming back on the same folder and port.
    void start() {
        if (running_ || bin_.isEmpty() || folder_.isEmpty()) return;
        running_ = run(true, "pg_ctl", {"-D", data(), "-l", folder_ + "/log", "-w", "-t", "30", "start"});
        QFile log(folder_ + "/log");
        if (!running_ && log.open(QIODevice::ReadOnly)) error_ += "\n" + log.readAll().right(2000);
    }
    // The server going away: open connections are ended at once.
    void stop() {
        thaw();
        if (running_) run(true, "pg_ctl", {"-D", data(), "-m", "fast", "-w", "-t", "30", "stop"});
        running_ = false;
    }

    // A server machine that hangs: the postmaster and every process it
    // started stopped, its connections open and nothing answering. Returns
    // how many were stopped.
    std::size_t freeze() {
        QFile pid(data() + "/postmaster.pid");
        frozen_ = {pid.open(QIODevice::ReadOnly) ? QString(pid.readLine().trimmed()) : QString()};
        QProcess children;
        children.start("pgrep", {"-P", frozen_[0]});
        children.waitForFinished();
        frozen_ += QString(children.readAll()).split('\n', Qt::SkipEmptyParts);
        thawed_ = false;
        for (const QString& p : frozen_) ::kill(p.toInt(), SIGSTOP);
        return frozen_.size();
    }
    // Lets a frozen server go on; safe from another thread once frozen.
    void thaw() {
        if (!thawed_.exchange(true))
            for (const QString& p : frozen_) ::kill(p.toInt(), SIGCONT);
    }

    // What psql prints for `sql` in `database`, run as the superuser, a line
    // a row; on failure, error() alone.
    QStringList query(const QString& sql, const QString& database = kDatabase) {
        QString out;
        if (run(false, "psql", {"-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-p",
                                QString::number(port_), "-U", "postgres", "-d", database, "-c", sql}, &out))
            return out.split('\n', Qt::SkipEmptyParts);
        return {error_};
    }
    // The rows on the server, station by station in the order they arrived:
    // "station:number:asset", blanks between them.
    QString rows() {
        return query("SELECT station || ':' || local_number || ':' || asset_id FROM records "
                     "ORDER BY station, received_at, local_number").join(' ');
    }

    // Writes `home`'s ~/.pgpass (mode 0600) with this server's line for the
    // role, the only password libpq is given in the tests; the destructor
    // removes this process's own.
    bool writePgpass(const QString& password = kPassword, const QString& home = QDir::homePath()) {
        qunsetenv("PGPASSWORD");  // libpq takes these before ~/.pgpass
        qunsetenv("PGPASSFILE");
        auto escaped = [](QString s) { return s.replace("\\", "\\\\").replace(":", "\\:"); };
        QFile file(QDir(home).filePath(".pgpass"));
        wrotePgpass_ = wrotePgpass_ || home == QDir::homePath();
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(QStringList{escaped(folder_), QString::number(port_), kDatabase, kRole, escaped(password)}
                              .join(':').toUtf8() + "\n") > 0 &&
               file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

private:
    QString data() const { return folder_ + "/data"; }

    void init(const QString& root) {
        QStringList versions = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(versions.begin(), versions.end(), [](auto& a, auto& b) { return a.toDouble() > b.toDouble(); });
        for (const QString& v : versions)  // the newest with a server and psql
            if (bin_.isEmpty() && QFileInfo(root + "/" + v + "/bin/postgres").isExecutable() &&
                QFileInfo(root + "/" + v + "/bin/psql").isExecutable())
                bin_ = root + "/" + v + "/bin";
        const passwd* pw = geteuid() == 0 ? getpwnam("postgres") : nullptr;
        std::string folder = QDir::temp().filePath("kv5x-pg-XXXXXX").toStdString();
        if (bin_.isEmpty())
            error_ = "no PostgreSQL server (postgres, psql) under " + root +
                     "/*/bin: scripts/install-deps.sh installs it";
        else if (geteuid() == 0 && !pw)
            error_ = "running as root, and no postgres system user to run the server as";
        else if (!mkdtemp(folder.data()) || (pw && chown(folder.c_str(), uid_ = pw->pw_uid, pw->pw_gid) != 0))
            error_ = "cannot make a temporary folder the postgres user owns";
        if (!error_.isEmpty()) return;
        folder_ = QString::fromStdString(folder);
        // Each server has its own socket folder, so equal numbers could not
        // clash anyway; the pid and a count keep them apart in logs too.
        static std::atomic<int> count{0};
        port_ = 20000 + (getpid() % 10000) * 4 + count++ % 4;
        watch();
        // Appended settings win over initdb's (opening the files keeps their
        // owner and mode). The superuser is trusted on the socket; every
        // other role must give its password.
        auto write = [&](const char* file, const QString& text, QIODevice::OpenMode mode) {
            QFile f(data() + file);
            return f.open(mode) && f.write(text.toUtf8()) == text.toUtf8().size();
        };
        if (!run(true, "initdb", {"-D", data(), "-U", "postgres", "-A", "trust", "-E", "UTF8", "--locale=C",
                                  "--no-sync", "--no-instructions"}))
            return;
        if (!write("/postgresql.conf", QString("listen_addresses = ''\nunix_socket_directories = '%1'\nport = %2\n"
                                               "fsync = off\n").arg(folder_).arg(port_), QIODevice::Append) ||
            !write("/pg_hba.conf", "local all postgres trust\nlocal all all scram-sha-256\n",
                   QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = "cannot write the server's settings";
            return;
        }
        start();
        if (running_ && !(query(QString("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kRole, kPassword), "postgres")
                              .isEmpty() &&
                          query(QString("CREATE DATABASE %1 OWNER %2").arg(kDatabase, kRole), "postgres").isEmpty())) {
            const QString why = error_;
            stop();
            error_ = why;
        }
    }

    // Runs a program of the server's, as the postgres user where `asServer`
    // and the test runs as root; its output goes to `out`, or on failure to
    // error().
    bool run(bool asServer, const QString& program, const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setWorkingDirectory(folder_);  // the server user may not enter the test's own
        p.setProcessChannelMode(out ? QProcess::SeparateChannels : QProcess::MergedChannels);
        if (asServer && uid_) p.start("runuser", QStringList{"-u", "postgres", "--", bin_ + "/" + program} + args);
        else p.start(bin_ + "/" + program, args);
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished(5000);
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
        if (!ok)
            error_ = program + " " + args.join(' ') + " failed: " + p.errorString() + "\n" + p.readAll() +
                     p.readAllStandardError();
        return ok;
    }

    // A process of its own that stops the server and removes the folder once
    // this process has ended without the destructor (a crash, a sanitizer's
    // abort, a test runner's kill). Detached, it runs in a session of its
    // own: no descendant of this process for a runner to kill with it.
    void watch() {
        QStringList stop{bin_ + "/pg_ctl", "-D", data(), "-m", "immediate", "-w", "stop"};
        if (uid_) stop = QStringList{"runuser", "-u", "postgres", "--"} + stop;
        QProcess w;
        w.setProgram("/bin/sh");
        w.setArguments(QStringList{"-c", "p=$1 d=$2; shift 2; while kill -0 $p && [ -d \"$d\" ]; do sleep 1; done; "
                                         "[ -d \"$d\" ] && \"$@\"; rm -rf \"$d\"",
                                   "pg-watchdog", QString::number(getpid()), folder_} + stop);
        w.setStandardInputFile(QProcess::nullDevice());
        w.setStandardOutputFile(QProcess::nullDevice());
        w.setStandardErrorFile(QProcess::nullDevice());
        w.startDetached();
    }

    QString bin_, folder_, error_;
    uid_t uid_ = 0;
    int port_ = 0;
    bool running_ = false;
    bool wrotePgpass_ = false;
    QStringList frozen_;
    std::atomic<bool> thawed_{true};
};

// The settings a station of this process starts with: its name and the
// shared server; an empty name, no server.
inline void useServer(const QString& station, const QString& host = "", int port = 0) {
    const QString app = QString::fromStdString(kv::platform::kAppTitle);
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, app, app);
    for (auto [key, value] : {std::pair<const char*, QString>{"Station", station}, {"Host", host},
                              {"Port", QString::number(port)}, {"Database", PgServer::kDatabase},
                              {"User", PgServer::kRole}})
        s.setValue(QString("RecordStore/") + key, value);
}

}  // namespace kv::test
