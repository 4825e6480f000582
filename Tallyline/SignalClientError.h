#pragma once

#include <QString>

#include <optional>

// Why one batch post failed.
struct SignalClientError
{
    enum class Kind { invalidStatusCode, unauthorised, forbidden, payloadTooLarge, invalidEndpointUrl };

    Kind kind = Kind::invalidStatusCode;
    int statusCode = 0; // for invalidStatusCode; 0 when the answer was not HTTP

    QString errorDescription() const;
    // For log lines: the case name with its value.
    QString description() const;

    // None for 2xx; `statusCode` 0 stands for an answer that is not an HTTP response.
    static std::optional<SignalClientError> forStatusCode(int statusCode);
};
