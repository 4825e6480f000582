#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// An error that carries a stable identifier of its kind, chosen by whoever defines it, so that
// reports of it can be counted.
class IdentifiableError : public std::exception
{
public:
    virtual QString id() const = 0;
    // The text a user would be shown; by default the error's own message.
    virtual QString localizedDescription() const { return QString::fromUtf8(what()); }
};

// Gives any error an identifier. The wrapped error is shared by copies of the wrapper.
class AnyIdentifiableError final : public IdentifiableError
{
public:
    AnyIdentifiableError(const QString &id, std::exception_ptr error);

    QString id() const override { return m_id; }
    std::exception_ptr error() const { return m_error; }
    // The wrapped error's user-facing text; it is the wrapper's own description too.
    QString errorDescription() const { return m_description; }
    QString localizedDescription() const override { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    // The user-facing text of any thrown value.
    static QString describe(std::exception_ptr error);

private:
    QString m_id;
    std::exception_ptr m_error;
    QString m_description;
    QByteArray m_what;
};

// `error` with an identifier.
template <typename Error>
AnyIdentifiableError with(const Error &error, const QString &id)
{
    return AnyIdentifiableError(id, std::make_exception_ptr(error));
}
