// SPDX-License-Identifier: MIT
#pragma once

// The built program run by a test, for the tests of what only a real process shows and the
// soak. The including target defines PORTWREN_PROGRAM, the program's path.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

// One run of the program in a temporary folder: DIR in its arguments is the folder, where
// Com1:'s link is "com1" and "fifo" a FIFO that nobody reads. No port's device is named but by
// the arguments.
struct ProgramRun {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("com1"));
    QProcess program;
    QByteArray output, errors;

    void start(QStringList arguments)
    {
        arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
        ::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // Qt asks for one
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (int port = 1; port <= 6; ++port)
            environment.remove(QStringLiteral("PORTWREN_COM%1").arg(port));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PORTWREN_PROGRAM), arguments);
    }
    ~ProgramRun()
    {
        program.kill();
        program.waitForFinished();
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    bool linked() const { return QFileInfo(link).isSymLink(); }
    void collect()
    {
        output += program.readAllStandardOutput();
        errors += program.readAllStandardError();
    }
    // The exit status once the program has ended by itself, or -1.
    int status()
    {
        const bool ended = program.waitForFinished(10000);
        collect();
        return ended && program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    // "portwren: ready" on standard error: the port is open, the control socket listens.
    bool waitReady()
    {
        return QTest::qWaitFor([this] { return collect(), errors.contains("portwren: ready\n"); });
    }
    int endWith(int signalNumber)
    {
        ::kill(pid_t(program.processId()), signalNumber);
        return status();
    }
};
