// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <optional>

// The four-field settings string "speed,parity,data bits,stop bits" (for example 9600,E,8,1).
struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int speed = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // Accepted: speed a positive integer; parity N, E, O, M or S (either case); data bits 5 to
    // 8; stop bits 1, 1.5 or 2. Blanks around a field are allowed. On refusal, *reason (when
    // given) says which field is wrong, in words an operator understands.
    static std::optional<LineSettings> parse(const QString &text, QString *reason = nullptr);
};
