#include "Tallyline/PurchaseTransaction.h"

#include "Tallyline/UsdExchangeRates.h"

QMap<QString, QString> PurchaseTransaction::purchaseParameters(const PurchaseTransaction &transaction)
{
    QMap<QString, QString> parameters{
        {QStringLiteral("Tallyline.Purchase.type"),
         transaction.subscriptionGroupID ? QStringLiteral("subscription") : QStringLiteral("one-time-purchase")},
        {QStringLiteral("Tallyline.Purchase.countryCode"), transaction.countryCode},
        {QStringLiteral("Tallyline.Purchase.productID"), transaction.productID},
    };
    if (transaction.currencyCode)
        parameters.insert(QStringLiteral("Tallyline.Purchase.currencyCode"), *transaction.currencyCode);
    return parameters;
}

double PurchaseTransaction::purchaseValueInUSD(const PurchaseTransaction &transaction)
{
    const double price = transaction.price.value_or(0.0);
    if (!transaction.currencyCode)
        return 0.0;
    if (*transaction.currencyCode == QLatin1String("USD"))
        return price;
    const std::optional<double> rate = usdExchangeRate(*transaction.currencyCode);
    return rate ? price / *rate : 0.0;
}

bool PurchaseTransaction::isFreeTrialTransaction(const PurchaseTransaction &transaction)
{
    return transaction.offerType == OfferType::introductory && transaction.offerPaymentMode == PaymentMode::freeTrial;
}

bool PurchaseTransaction::startsFreeTrial(const PurchaseTransaction &transaction)
{
    return transaction.productType == ProductType::autoRenewable && transaction.offerType == OfferType::introductory
           && (!transaction.price || *transaction.price == 0.0);
}
