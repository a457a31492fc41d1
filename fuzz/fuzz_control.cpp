// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes, cut into lines, to the control protocol's requests over a session on
// the scripted port, and checks that every answer is one line holding a JSON object with "ok"
// (true or false) and the request's id (the same value as the request's, null for a line that
// is not an object), that every event line a subscriber would get is one line holding a JSON
// object with "event", and that the register memory keeps the word format after every request. A
// host's word read arrives on the line after each request, so that faults asked for meet
// replies, and the scripted clock moves on, so that delayed replies and the handshake's tick
// run.
#include "FakeSerialPort.h"
#include "WordFormatCheck.h"
#include "control/ControlRequests.h"
#include "control/EventJson.h"
#include "session/LineSession.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdlib>

namespace
{

// One line holding a JSON object whose field `name` is of the kind given.
__attribute__((no_sanitize("coverage"))) void requireOneJsonLine(const QByteArray &line,
                                                                 const char *name, bool isBool)
{
    if (line.contains('\n') || line.contains('\r'))
        std::abort();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    const QJsonValue value = document.object().value(QLatin1String(name));
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        (isBool ? !value.isBool() : !value.isString()))
        std::abort();
}

// The answer's id is the request's, read as the parser reads it (the last of several).
__attribute__((no_sanitize("coverage"))) void requireSameId(const QByteArray &request,
                                                            const QByteArray &answer)
{
    const QJsonValue asked = QJsonDocument::fromJson(request).object().value(QLatin1String("id"));
    const QJsonValue answered = QJsonDocument::fromJson(answer).object().value(QLatin1String("id"));
    if (answered != (asked.isUndefined() ? QJsonValue() : asked))
        std::abort();
}

// At most this many requests a run: every request costs a word read on the line as well.
constexpr qsizetype MaxRequests = 256;

const QByteArray WordRead("\x05"
                          "000000WR0000320250");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_control";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    auto *clock = new FakeClock;
    auto *port = new FakeSerialPort(clock);
    LineSession session{std::unique_ptr<SerialPortService>(port), std::unique_ptr<Clock>(clock)};
    session.chooseDevice(1, QStringLiteral("fake"), DeviceChoice::ForThisRun);
    ControlRequests requests(session);
    EventFeed events(session);
    QObject::connect(&events, &EventFeed::eventLine,
                     [](const QByteArray &line) { requireOneJsonLine(line, "event", false); });
    const QList<QByteArray> lines =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');
    for (qsizetype n = 0; n < lines.size() && n < MaxRequests; ++n) {
        const QByteArray answer = requests.answer(lines.at(n)).line;
        requireOneJsonLine(answer, "ok", true);
        requireSameId(lines.at(n), answer);
        requireWordFormat(session.registers());
        if (session.isOpen()) {
            port->arriveNow(WordRead);
            port->raiseArrival();
            QCoreApplication::processEvents();
        }
        clock->advance(10);
        requireWordFormat(session.registers());
    }
    return 0;
}
