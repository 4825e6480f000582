#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>

// The store's record of one in-app purchase, with what the purchase signals read of it.
struct PurchaseTransaction
{
    enum class ProductType { consumable, nonConsumable, nonRenewable, autoRenewable };
    enum class OfferType { introductory, promotional, code, winBack };
    enum class PaymentMode { freeTrial, payAsYouGo, payUpFront };

    ProductType productType = ProductType::nonConsumable;
    std::optional<OfferType> offerType;
    std::optional<PaymentMode> offerPaymentMode;
    std::optional<double> price;
    std::optional<QString> currencyCode;
    QString countryCode;
    std::optional<QString> subscriptionGroupID;
    QString productID;
    // The first transaction of the chain; renewals share it.
    quint64 originalID = 0;
    std::optional<QDateTime> revocationDate;
    std::optional<QDateTime> expirationDate;
    bool isUpgraded = false;

    // "subscription" or "one-time-purchase", the storefront's country, the product and the currency
    // (only when the transaction has one).
    static QMap<QString, QString> purchaseParameters(const PurchaseTransaction &transaction);
    // The price in US dollars; 0 without a currency or for a currency without a known rate.
    static double purchaseValueInUSD(const PurchaseTransaction &transaction);
    // An introductory offer with a free-trial payment mode: the trial is still running.
    static bool isFreeTrialTransaction(const PurchaseTransaction &transaction);
    // An auto-renewable subscription started with a free introductory offer.
    static bool startsFreeTrial(const PurchaseTransaction &transaction);
};
