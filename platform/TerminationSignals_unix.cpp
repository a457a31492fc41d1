// SPDX-License-Identifier: MIT
#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

const int Watched[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
// The pipe: the handler writes into [1], the notifier reads [0]. -1 when no instance watches.
int selfPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Only async-signal-safe calls here; a full pipe drops the byte, but one is already waiting.
    [[maybe_unused]] const ssize_t written = ::write(selfPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : Watched)
        ::sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (selfPipe[0] >= 0) {
        m_error = QStringLiteral("signals are already watched");
        return;
    }
    if (::pipe2(selfPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_error =
            QStringLiteral("cannot create a pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
        selfPipe[0] = selfPipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(selfPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    setHandler(onTerminationSignal);
    m_watching = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    setHandler(SIG_DFL);
    delete m_notifier;
    ::close(selfPipe[0]);
    ::close(selfPipe[1]);
    selfPipe[0] = selfPipe[1] = -1;
}

void TerminationSignals::ignoreBrokenPipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void TerminationSignals::onReadable()
{
    unsigned char bytes[16];
    const ssize_t n = ::read(selfPipe[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i)
        Q_EMIT received(bytes[i]);
}
