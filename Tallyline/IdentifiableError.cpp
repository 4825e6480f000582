#include "Tallyline/IdentifiableError.h"

AnyIdentifiableError::AnyIdentifiableError(const QString &id, std::exception_ptr error)
    : m_id(id)
    , m_error(std::move(error))
    , m_description(describe(m_error))
    , m_what(m_description.toUtf8())
{
}

QString AnyIdentifiableError::describe(std::exception_ptr error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const IdentifiableError &identifiable) {
        return identifiable.localizedDescription();
    } catch (const std::exception &exception) {
        return QString::fromUtf8(exception.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
