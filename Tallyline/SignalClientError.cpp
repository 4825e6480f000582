#include "Tallyline/SignalClientError.h"

QString SignalClientError::errorDescription() const
{
    switch (kind) {
    case Kind::invalidStatusCode:
        return QStringLiteral("Invalid status code %1").arg(statusCode);
    case Kind::unauthorised:
        return QStringLiteral("Unauthorized (401)");
    case Kind::forbidden:
        return QStringLiteral("Forbidden (403)");
    case Kind::payloadTooLarge:
        return QStringLiteral("Payload is too large (413)");
    case Kind::invalidEndpointUrl:
        return QStringLiteral("Invalid endpoint URL");
    }
    return {};
}

QString SignalClientError::description() const
{
    switch (kind) {
    case Kind::invalidStatusCode:
        return QStringLiteral("invalidStatusCode(statusCode: %1)").arg(statusCode);
    case Kind::unauthorised:
        return QStringLiteral("unauthorised");
    case Kind::forbidden:
        return QStringLiteral("forbidden");
    case Kind::payloadTooLarge:
        return QStringLiteral("payloadTooLarge");
    case Kind::invalidEndpointUrl:
        return QStringLiteral("invalidEndpointUrl");
    }
    return {};
}

std::optional<SignalClientError> SignalClientError::forStatusCode(int statusCode)
{
    if (statusCode >= 200 && statusCode <= 299)
        return std::nullopt;
    switch (statusCode) {
    case 401:
        return SignalClientError{Kind::unauthorised, statusCode};
    case 403:
        return SignalClientError{Kind::forbidden, statusCode};
    case 413:
        return SignalClientError{Kind::payloadTooLarge, statusCode};
    default:
        return SignalClientError{Kind::invalidStatusCode, statusCode};
    }
}
