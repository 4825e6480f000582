#include "Tallyline/TrialConversionTracker.h"

#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalPlatform.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

const QString lastTrialKey = QStringLiteral("lastTrial");

} // namespace

QByteArray TrialConversionTracker::StoredTrial::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("productID"), productID);
    // JSON numbers are doubles here; identifiers beyond 2^53 would lose digits, and real ones stay far below.
    object.insert(QStringLiteral("originalTransactionID"), qint64(originalTransactionID));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TrialConversionTracker::StoredTrial> TrialConversionTracker::StoredTrial::fromJson(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue product = object.value(QStringLiteral("productID"));
    const QJsonValue original = object.value(QStringLiteral("originalTransactionID"));
    if (!product.isString() || !original.isDouble())
        return std::nullopt;
    const double number = original.toDouble();
    if (!std::isfinite(number) || number < 0 || std::trunc(number) != number || number > 9007199254740992.0)
        return std::nullopt;
    return StoredTrial{product.toString(), quint64(number)};
}

TrialConversionTracker::TrialConversionTracker()
{
    if (loadStoredTrial())
        startObservingTransactions();
}

TrialConversionTracker::~TrialConversionTracker()
{
    {
        QMutexLocker lock(&m_taskMutex);
        m_transactionUpdateTask.reset();
    }
    m_persistenceQueue.waitForIdle(-1);
}

TrialConversionTracker &TrialConversionTracker::shared()
{
    static TrialConversionTracker *const instance = new TrialConversionTracker;
    return *instance;
}

void TrialConversionTracker::resumeRememberedTrial()
{
    if (loadStoredTrial())
        shared();
}

void TrialConversionTracker::storeTrial(const std::optional<StoredTrial> &trial)
{
    m_persistenceQueue.async([trial] { writeStoredTrial(trial); });
}

void TrialConversionTracker::startObservingTransactions()
{
    // Updates are dealt with on the queue that writes the trial, so each one sees every write made
    // before it, and a conversion forgets the trial before the next update is looked at.
    auto observation = TransactionUpdates::current()->observe([this](const TransactionUpdates::Update &update) {
        m_persistenceQueue.async([this, update] { handleTransactionUpdate(update); });
    });
    std::unique_ptr<TransactionUpdates::Observation> previous;
    {
        QMutexLocker lock(&m_taskMutex);
        previous = std::move(m_transactionUpdateTask);
        m_transactionUpdateTask = std::move(observation);
    }
}

bool TrialConversionTracker::isObserving() const
{
    QMutexLocker lock(&m_taskMutex);
    return m_transactionUpdateTask != nullptr;
}

std::optional<TrialConversionTracker::StoredTrial> TrialConversionTracker::loadStoredTrial()
{
    const auto suite = SignalHub::telemetryDefaultsSuite();
    if (!suite)
        return std::nullopt;
    const QVariant stored = suite->value(lastTrialKey);
    if (stored.typeId() == QMetaType::QByteArray)
        return StoredTrial::fromJson(stored.toByteArray());
    if (stored.typeId() == QMetaType::QString)
        return StoredTrial::fromJson(stored.toString().toUtf8());
    return std::nullopt;
}

void TrialConversionTracker::writeStoredTrial(const std::optional<StoredTrial> &trial)
{
    const auto suite = SignalHub::telemetryDefaultsSuite();
    if (!suite)
        return;
    if (trial)
        suite->setValue(lastTrialKey, trial->toJson());
    else
        suite->remove(lastTrialKey);
}

void TrialConversionTracker::handleTransactionUpdate(const TransactionUpdates::Update &update)
{
    if (!update.verified)
        return;
    const std::optional<StoredTrial> trial = loadStoredTrial();
    if (!trial)
        return;
    const PurchaseTransaction &transaction = update.transaction;
    if (transaction.productID != trial->productID || transaction.originalID != trial->originalTransactionID)
        return;
    if (transaction.revocationDate || transaction.isUpgraded
        || (transaction.expirationDate && *transaction.expirationDate < SignalPlatform::current()->now())) {
        endTrial();
        return;
    }
    if (PurchaseTransaction::isFreeTrialTransaction(transaction))
        return; // still in its free period
    SignalHub::internalSignal(QStringLiteral("Tallyline.Purchase.convertedFromTrial"),
                              PurchaseTransaction::purchaseParameters(transaction),
                              PurchaseTransaction::purchaseValueInUSD(transaction));
    endTrial();
}

// On the persistence queue.
void TrialConversionTracker::endTrial()
{
    writeStoredTrial(std::nullopt);
    std::unique_ptr<TransactionUpdates::Observation> ended;
    QMutexLocker lock(&m_taskMutex);
    ended = std::move(m_transactionUpdateTask);
}

bool TrialConversionTracker::waitForPersistence(int msecs)
{
    return m_persistenceQueue.waitForIdle(msecs);
}
