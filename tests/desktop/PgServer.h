#pragma once
// A throwaway PostgreSQL server for the tests of the shared record store:
// initdb in a temporary folder, the server listening only on a Unix socket in
// that folder (no TCP), a database kv5x and a role station that logs in with a
// password. Run as root, the server runs as the postgres system user, which
// initdb and pg_ctl insist on; the test process stays root.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::test {

class PgServer {
public:
    static constexpr const char* kDatabase = "kv5x";
    static constexpr const char* kRole = "station";
    static constexpr const char* kSuperuser = "postgres";

    // `installRoot` holds one folder per PostgreSQL version, each with bin/.
    explicit PgServer(const QString& password = "station-pw",
                      const QString& installRoot = "/usr/lib/postgresql")
        : password_(password) {
        bin_ = newestBin(installRoot);
        if (bin_.isEmpty()) {
            error_ = "no PostgreSQL server (initdb, pg_ctl, postgres, psql) under " + installRoot +
                     "/*/bin: scripts/install-deps.sh installs it";
            return;
        }
        if (geteuid() == 0) {
            const passwd* pw = getpwnam(kSuperuser);
            if (!pw) {
                error_ = "running as root, and no postgres system user to run the server as";
                return;
            }
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
        }
        std::string pattern = QDir::temp().filePath("kv5x-pg-XXXXXX").toStdString();
        if (!mkdtemp(pattern.data())) {
            error_ = "cannot create a temporary folder";
            return;
        }
        folder_ = QString::fromStdString(pattern);
        if (uid_ && chown(pattern.c_str(), uid_, gid_) != 0) {
            error_ = "cannot hand " + folder_ + " to the postgres user";
            return;
        }
        // Each server has its own socket folder, so equal numbers could not
        // clash anyway; the pid and a count keep them apart in logs too.
        static std::atomic<int> count{0};
        port_ = 20000 + (getpid() % 10000) * 4 + count++ % 4;
        watch();

        if (!run(true, bin_ + "/initdb",
                 {"-D", dataDir(), "-U", kSuperuser, "-A", "trust", "-E", "UTF8", "--locale=C", "--no-sync",
                  "--no-instructions"}))
            return;
        // Appended settings win over initdb's. The superuser is trusted on the
        // socket; every other role must give its password.
        if (!append(dataDir() + "/postgresql.conf",
                    QString("listen_addresses = ''\nunix_socket_directories = '%1'\nport = %2\nfsync = off\n")
                        .arg(folder_)
                        .arg(port_)) ||
            !append(dataDir() + "/pg_hba.conf",
                    QString("local all %1 trust\nlocal all all scram-sha-256\n").arg(kSuperuser), true))
            return;
        start();
        if (!running_) return;
        QString quoted = password_;
        quoted.replace("'", "''");
        if (!run(false, bin_ + "/psql",
                 {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-p", QString::number(port_), "-U", kSuperuser,
                  "-d", "postgres", "-c", QString("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kRole, quoted), "-c",
                  QString("CREATE DATABASE %1 OWNER %2").arg(kDatabase, kRole)})) {
            const QString why = error_;
            stop();
            error_ = why;
        }
    }

    ~PgServer() {
        stop();
        if (!folder_.isEmpty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder_.toStdString(), ec);
        }
        if (wrotePgpass_) QFile::remove(pgpassPath());
        if (watchdog_ >= 0) {
            // A line says the folder is gone already: the watchdog just ends.
            [[maybe_unused]] auto n = write(watchdog_, "done\n", 5);
            close(watchdog_);
        }
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool started() const { return running_; }
    // Why the server is not running, with the failing command's output.
    QString error() const { return error_; }
    QString socketDir() const { return folder_; }
    int port() const { return port_; }
    QString password() const { return password_; }
    // The postmaster's process id while it runs, else 0.
    qint64 serverPid() const {
        QFile file(dataDir() + "/postmaster.pid");
        return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
    }

    // A server machine that hangs: every process of the server stopped, its
    // connections open and nothing answering. Returns how many were stopped.
    std::size_t freeze() {
        const qint64 top = serverPid();
        frozen_ = {top};
        for (const QString& p : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat("/proc/" + p + "/stat");
            if (!stat.open(QIODevice::ReadOnly)) continue;
            const QByteArray line = stat.readAll();  // pid (name) state parent ...
            const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (after.size() > 1 && after[1].toLongLong() == top) frozen_.push_back(p.toLongLong());
        }
        for (qint64 pid : frozen_) ::kill(static_cast<pid_t>(pid), SIGSTOP);
        return frozen_.size();
    }
    // Lets a frozen server go on; safe from another thread once frozen.
    void thaw() {
        if (thawed_.exchange(true)) return;
        for (qint64 pid : frozen_) ::kill(static_cast<pid_t>(pid), SIGCONT);
    }

    // The server going away: open connections are ended at once.
    void stop() {
        if (!frozen_.empty()) thaw();
        if (!running_) return;
        running_ = false;
        run(true, bin_ + "/pg_ctl", {"-D", dataDir(), "-m", "fast", "-w", "-t", "30", "stop"});
    }

    // The server coming back on the same folder and port.
    void start() {
        if (running_ || bin_.isEmpty() || folder_.isEmpty()) return;
        running_ = run(true, bin_ + "/pg_ctl", {"-D", dataDir(), "-l", folder_ + "/log", "-w", "-t", "30", "start"});
        if (!running_) error_ += "\n" + tail(folder_ + "/log");
    }

    // Writes ~/.pgpass (mode 0600) with this server's line for the role, the
    // only password libpq is given in the tests; the destructor removes it.
    // Into `home`'s ~/.pgpass: another station's home.
    bool writePgpass(const QString& password, const QString& home = QDir::homePath()) {
        // libpq takes these before ~/.pgpass.
        qunsetenv("PGPASSWORD");
        qunsetenv("PGPASSFILE");
        auto escaped = [](QString s) { return s.replace("\\", "\\\\").replace(":", "\\:"); };
        QFile file(QDir(home).filePath(".pgpass"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
        wrotePgpass_ = wrotePgpass_ || home == QDir::homePath();
        file.write(QStringList{escaped(folder_), QString::number(port_), kDatabase, kRole, escaped(password)}
                       .join(':')
                       .toUtf8() +
                   "\n");
        return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

private:
    QString dataDir() const { return folder_ + "/data"; }
    static QString pgpassPath() { return QDir::home().filePath(".pgpass"); }

    static QString newestBin(const QString& root) {
        QStringList versions = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(versions.begin(), versions.end(),
                  [](const QString& a, const QString& b) { return a.toDouble() > b.toDouble(); });
        for (const QString& v : versions) {
            QString bin = root + "/" + v + "/bin";
            if (std::all_of(std::begin(kPrograms), std::end(kPrograms),
                            [&](const char* p) { return QFileInfo(bin + "/" + p).isExecutable(); }))
                return bin;
        }
        return {};
    }

    // Runs a PostgreSQL program, as the postgres user where `asServer` and
    // the test runs as root; on failure error() gets its output.
    bool run(bool asServer, const QString& program, const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(folder_);  // the server user may not enter the test's own
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (asServer && uid_) p.start("runuser", QStringList{"-u", kSuperuser, "--", program} + args);
        else p.start(program, args);
        bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok) {
            if (p.state() != QProcess::NotRunning) {
                p.kill();
                p.waitForFinished(5000);
            }
            error_ = QFileInfo(program).fileName() + " " + args.join(' ') + " failed: " + p.errorString() +
                     "\n" + QString::fromLocal8Bit(p.readAll());
        }
        return ok;
    }

    bool append(const QString& path, const QString& text, bool replace = false) {
        // Opening the existing file keeps its owner and mode.
        QFile file(path);
        if (file.open(replace ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::Append) &&
            file.write(text.toUtf8()) == text.toUtf8().size())
            return true;
        error_ = "cannot write " + path;
        return false;
    }

    static QString tail(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(file.readAll().right(2000));
    }

    // A process of its own that stops the server and removes the folder if
    // this process ends without the destructor (a crash, a sanitizer's abort,
    // a test runner's kill): it waits on a pipe whose writing end only this
    // process holds. Forked twice and in a session of its own, it is no
    // descendant of this process for a runner to kill with it.
    void watch() {
        QStringList args{"-c", "read line && exit 0; d=$1; shift; \"$@\"; rm -rf \"$d\"", "pg-watchdog", folder_};
        if (uid_) args << "runuser" << "-u" << kSuperuser << "--";
        args << bin_ + "/pg_ctl" << "-D" << dataDir() << "-m" << "immediate" << "-w" << "stop";
        std::vector<std::string> strings{"/bin/sh"};
        for (const QString& a : args) strings.push_back(a.toStdString());
        std::vector<char*> argv;
        for (std::string& s : strings) argv.push_back(s.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        // Only async-signal-safe calls between fork and exec.
        pid_t child = fork();
        if (child == 0) {
            setsid();
            if (fork() != 0) _exit(0);
            int null = open("/dev/null", O_RDWR);
            dup2(fds[0], 0);
            dup2(null, 1);
            dup2(null, 2);
            close_range(3, ~0U, 0);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[0]);
        if (child < 0) {
            close(fds[1]);
            return;
        }
        waitpid(child, nullptr, 0);
        watchdog_ = fds[1];
    }

    static constexpr const char* kPrograms[] = {"initdb", "pg_ctl", "postgres", "psql"};

    QString password_, bin_, folder_, error_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    int port_ = 0;
    int watchdog_ = -1;
    bool running_ = false;
    bool wrotePgpass_ = false;
    std::vector<qint64> frozen_;
    std::atomic<bool> thawed_{false};
};

}  // namespace kv::test
