// SPDX-License-Identifier: MIT
// Windows: the run cannot watch the process that started it yet; start() says so, and the
// program refuses the option with that reason.
#include "platform/ParentWatch.h"

#include <utility>

ParentWatch::ParentWatch(QObject *parent) : QObject(parent) {}

ParentWatch::~ParentWatch() = default;

bool ParentWatch::start(QString *reason)
{
    if (reason)
        *reason = QStringLiteral("watching the process that started the run is not available on "
                                 "Windows");
    return false;
}

void ParentWatch::parentGone()
{
    if (!std::exchange(m_ended, true))
        Q_EMIT ended();
}
