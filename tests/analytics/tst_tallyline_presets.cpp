#include "tests/analytics/FakeTransactionUpdates.h"
#include "tests/analytics/InstalledClient.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestMain.h"

#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/IdentifiableError.h"
#include "Tallyline/NavigationStatus.h"
#include "Tallyline/PurchaseTransaction.h"
#include "Tallyline/Sha256Hex.h"
#include "Tallyline/Tallyline.h"
#include "Tallyline/TrialConversionTracker.h"
#include "Tallyline/UsdExchangeRates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

#include <stdexcept>

namespace {

// One signal as the service received it: its name, float value and the parameters that are not
// part of the default payload.
struct Received
{
    QString type;
    std::optional<double> floatValue;
    QMap<QString, QString> parameters;
};

class MissingFile : public IdentifiableError
{
public:
    QString id() const override { return QStringLiteral("missing-file"); }
    const char *what() const noexcept override { return "The file is gone."; }
};

PurchaseTransaction oneTimePurchase(std::optional<double> price, std::optional<QString> currency)
{
    PurchaseTransaction transaction;
    transaction.productID = QStringLiteral("com.example.pro");
    transaction.countryCode = QStringLiteral("DEU");
    transaction.price = price;
    transaction.currencyCode = currency;
    transaction.originalID = 7;
    return transaction;
}

PurchaseTransaction subscription(std::optional<double> price, bool introductoryFreeTrial)
{
    PurchaseTransaction transaction = oneTimePurchase(price, QStringLiteral("USD"));
    transaction.productType = PurchaseTransaction::ProductType::autoRenewable;
    transaction.productID = QStringLiteral("com.example.monthly");
    transaction.subscriptionGroupID = QStringLiteral("group-1");
    transaction.originalID = 4242;
    if (introductoryFreeTrial) {
        transaction.offerType = PurchaseTransaction::OfferType::introductory;
        transaction.offerPaymentMode = PurchaseTransaction::PaymentMode::freeTrial;
    }
    return transaction;
}

} // namespace

class TallylinePresetsTest : public QObject
{
    Q_OBJECT

    LoopbackServer m_server;
    InstalledClient m_client;
    std::shared_ptr<FakeTransactionUpdates> m_store = std::make_shared<FakeTransactionUpdates>();
    QSet<QString> m_defaultKeys;

    // Sends what is pending as one batch and reads it back from the loopback service.
    QList<Received> received()
    {
        if (!InstalledClient::settle() || InstalledClient::manager()->signalCache()->signalCount() == 0)
            return {};
        const qsizetype before = m_server.requests().size();
        InstalledClient::manager()->sendCachedSignalBatch();
        if (!InstalledClient::manager()->waitForBackgroundWork(10000))
            return {};
        if (InstalledClient::manager()->signalCache()->signalCount() > 0)
            return {};
        QList<Received> batch;
        [&] { QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().size() > before, 20000); }();
        if (m_server.requests().size() == before)
            return {};
        for (const QJsonValue &value : QJsonDocument::fromJson(m_server.requests().constLast().body).array()) {
            const QJsonObject record = value.toObject();
            Received signal{record.value("type").toString(), std::nullopt, {}};
            if (record.contains("floatValue"))
                signal.floatValue = record.value("floatValue").toDouble();
            const QJsonObject payload = record.value("payload").toObject();
            for (auto it = payload.begin(); it != payload.end(); ++it) {
                if (!m_defaultKeys.contains(it.key()))
                    signal.parameters.insert(it.key(), it.value().toString());
            }
            batch.append(signal);
        }
        return batch;
    }

    Received receivedOne()
    {
        const QList<Received> batch = received();
        [&] { QCOMPARE(batch.size(), 1); }();
        return batch.isEmpty() ? Received{} : batch.constFirst();
    }

private slots:
    void initTestCase()
    {
        m_server.setDefaultStatus(200);
        m_client.install(m_server.baseURL());
        TransactionUpdates::setCurrent(m_store);
        // Learn the default payload's keys from a plain signal.
        Tallyline::signal("probe");
        QVERIFY(InstalledClient::settle());
        const QList<SignalPostBody> records = InstalledClient::takeRecords();
        QCOMPARE(records.size(), 1);
        for (auto it = records[0].payload.cbegin(); it != records[0].payload.cend(); ++it)
            m_defaultKeys.insert(it.key());
        QVERIFY(m_defaultKeys.contains("Tallyline.Retention.totalSessionsCount"));
    }

    void init()
    {
        m_client.configuration->setAnalyticsDisabled(false);
    }

    void acquisitionActivationReferralAndRevenuePresets()
    {
        using P = QMap<QString, QString>;
        Tallyline::acquiredUser("newsletter");
        Tallyline::acquiredUser("ads", {{"Tallyline.Acquisition.channel", "override"}, {"campaign", "x"}});
        Tallyline::leadStarted("lead-1");
        Tallyline::leadConverted("lead-1", {}, QStringLiteral("user-7"));
        Tallyline::onboardingCompleted();
        Tallyline::coreFeatureUsed("grouping");
        Tallyline::referralSent(0);
        Tallyline::referralSent(3, QStringLiteral("mail"));
        Tallyline::userRatingSubmitted(0);
        Tallyline::userRatingSubmitted(10, QStringLiteral("great"));
        Tallyline::paywallShown("limit");
        const QList<Received> s = received();
        QCOMPARE(s.size(), 11);
        const QList<std::pair<QString, P>> expected{
            {"Tallyline.Acquisition.userAcquired", {{"Tallyline.Acquisition.channel", "newsletter"}}},
            {"Tallyline.Acquisition.userAcquired", {{"Tallyline.Acquisition.channel", "override"}, {"campaign", "x"}}},
            {"Tallyline.Acquisition.leadStarted", {{"Tallyline.Acquisition.leadID", "lead-1"}}},
            {"Tallyline.Acquisition.leadConverted", {{"Tallyline.Acquisition.leadID", "lead-1"}}},
            {"Tallyline.Activation.onboardingCompleted", {}},
            {"Tallyline.Activation.coreFeatureUsed", {{"Tallyline.Activation.featureName", "grouping"}}},
            {"Tallyline.Referral.sent", {{"Tallyline.Referral.receiversCount", "0"}}},
            {"Tallyline.Referral.sent", {{"Tallyline.Referral.receiversCount", "3"}, {"Tallyline.Referral.kind", "mail"}}},
            {"Tallyline.Referral.userRatingSubmitted", {{"Tallyline.Referral.ratingValue", "0"}}},
            {"Tallyline.Referral.userRatingSubmitted",
             {{"Tallyline.Referral.ratingValue", "10"}, {"Tallyline.Referral.ratingComment", "great"}}},
            {"Tallyline.Revenue.paywallShown", {{"Tallyline.Revenue.paywallShowReason", "limit"}}},
        };
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(s[i].type, expected[i].first);
            QCOMPARE(s[i].parameters, expected[i].second);
            QVERIFY(!s[i].floatValue);
        }
        // The custom user is hashed in place of the default one.
        const QJsonArray records = QJsonDocument::fromJson(m_server.requests().constLast().body).array();
        QCOMPARE(records[3].toObject().value("clientUser").toString(), sha256Hex("user-7"));

        // Out of range: refused with one error line.
        const qsizetype lines = m_client.log().size();
        Tallyline::userRatingSubmitted(-1);
        Tallyline::userRatingSubmitted(11);
        QVERIFY(InstalledClient::settle());
        QCOMPARE(InstalledClient::manager()->signalCache()->signalCount(), 0);
        QCOMPARE(m_client.log().mid(lines), (QStringList{"Rating must be between 0 and 10", "Rating must be between 0 and 10"}));
    }

    void purchasesInDollars()
    {
        QCOMPARE(usdExchangeRates().size(), 161);
        QVERIFY(!usdExchangeRates().contains("USD"));
        QCOMPARE(usdExchangeRates().value("KWD"), 0.3085);
        QCOMPARE(usdExchangeRates().value("LBP"), 89500.0);
        QVERIFY(std::all_of(usdExchangeRates().cbegin(), usdExchangeRates().cend(),
                            [](double rate) { return rate >= 0.3085 && rate <= 89500.0; }));

        Tallyline::purchaseCompleted(oneTimePurchase(9.99, QStringLiteral("EUR")));
        Tallyline::purchaseCompleted(oneTimePurchase(4.5, QStringLiteral("USD")), {{"source", "menu"}});
        Tallyline::purchaseCompleted(oneTimePurchase(3.0, QStringLiteral("XYZ")));
        Tallyline::purchaseCompleted(oneTimePurchase(3.0, std::nullopt));
        Tallyline::purchaseCompleted(oneTimePurchase(std::nullopt, QStringLiteral("eur")));
        Tallyline::purchaseCompleted(subscription(5.0, false)); // no offer: a purchase whatever its price
        PurchaseTransaction paidIntro = subscription(1.99, true);
        paidIntro.offerPaymentMode = PurchaseTransaction::PaymentMode::payUpFront;
        Tallyline::purchaseCompleted(paidIntro);
        const QList<Received> s = received();
        QCOMPARE(s.size(), 7);
        for (const Received &signal : s)
            QCOMPARE(signal.type, QStringLiteral("Tallyline.Purchase.completed"));
        QCOMPARE(s[0].parameters, (QMap<QString, QString>{{"Tallyline.Purchase.type", "one-time-purchase"},
                                                          {"Tallyline.Purchase.countryCode", "DEU"},
                                                          {"Tallyline.Purchase.productID", "com.example.pro"},
                                                          {"Tallyline.Purchase.currencyCode", "EUR"}}));
        QCOMPARE(*s[0].floatValue, 9.99 / 0.9533);
        QCOMPARE(*s[1].floatValue, 4.5);
        QCOMPARE(s[1].parameters.value("source"), QStringLiteral("menu"));
        QCOMPARE(*s[2].floatValue, 0.0);
        QCOMPARE(s[2].parameters.value("Tallyline.Purchase.currencyCode"), QStringLiteral("XYZ"));
        QCOMPARE(*s[3].floatValue, 0.0);
        QVERIFY(!s[3].parameters.contains("Tallyline.Purchase.currencyCode"));
        QCOMPARE(*s[4].floatValue, 0.0); // codes are matched exactly
        QCOMPARE(s[5].parameters.value("Tallyline.Purchase.type"), QStringLiteral("subscription"));
        QCOMPARE(*s[5].floatValue, 5.0);
        QCOMPARE(*s[6].floatValue, 1.99);
        QVERIFY(!TrialConversionTracker::loadStoredTrial());
    }

    void rememberedTrialIsWatchedFromTheStart()
    {
        SignalHub::telemetryDefaultsSuite()->setValue(
            "lastTrial", TrialConversionTracker::StoredTrial{"com.example.monthly", 4242}.toJson());
        Tallyline::initialize(m_client.configuration);
        QVERIFY(TrialConversionTracker::shared().isObserving());
        m_store->deliver({true, subscription(5.0, false)});
        QVERIFY(TrialConversionTracker::shared().waitForPersistence(10000));
        QCOMPARE(receivedOne().type, QStringLiteral("Tallyline.Purchase.convertedFromTrial"));
        QVERIFY(!TrialConversionTracker::shared().isObserving());
    }

    void trialConvertsOnceAcrossRestarts()
    {
        Tallyline::purchaseCompleted(subscription(0.0, true));
        const Received started = receivedOne();
        QCOMPARE(started.type, QStringLiteral("Tallyline.Purchase.freeTrialStarted"));
        QVERIFY(!started.floatValue);
        QVERIFY(TrialConversionTracker::shared().waitForPersistence(10000));
        QCOMPARE(*TrialConversionTracker::loadStoredTrial(), (TrialConversionTracker::StoredTrial{"com.example.monthly", 4242}));
        QVERIFY(TrialConversionTracker::shared().isObserving());

        // Still in the trial, unverified, or another product: nothing.
        m_store->deliver({true, subscription(0.0, true)});
        m_store->deliver({false, subscription(5.0, false)});
        PurchaseTransaction other = subscription(5.0, false);
        other.productID = QStringLiteral("com.example.yearly");
        m_store->deliver({true, other});
        PurchaseTransaction otherChain = subscription(5.0, false);
        otherChain.originalID = 1;
        m_store->deliver({true, otherChain});
        QVERIFY(TrialConversionTracker::shared().waitForPersistence(10000));
        QVERIFY(received().isEmpty());
        QVERIFY(TrialConversionTracker::loadStoredTrial());

        // The program quits; the next launch picks the watch up from the suite.
        m_store->detachAll();
        auto relaunched = std::make_unique<TrialConversionTracker>();
        QVERIFY(relaunched->isObserving());
        PurchaseTransaction renewal = subscription(5.0, false);
        renewal.currencyCode = QStringLiteral("EUR");
        m_store->deliver({true, renewal});
        m_store->deliver({true, renewal});
        QVERIFY(relaunched->waitForPersistence(10000));
        const Received converted = receivedOne();
        QCOMPARE(converted.type, QStringLiteral("Tallyline.Purchase.convertedFromTrial"));
        QCOMPARE(converted.parameters.value("Tallyline.Purchase.type"), QStringLiteral("subscription"));
        QCOMPARE(converted.parameters.value("Tallyline.Purchase.productID"), QStringLiteral("com.example.monthly"));
        QCOMPARE(*converted.floatValue, 5.0 / 0.9533);
        QVERIFY(!TrialConversionTracker::loadStoredTrial());
        QVERIFY(!relaunched->isObserving());
        relaunched.reset();

        // And a launch after that watches nothing.
        auto later = std::make_unique<TrialConversionTracker>();
        QVERIFY(!later->isObserving());
        m_store->deliver({true, renewal});
        QVERIFY(later->waitForPersistence(10000));
        QVERIFY(received().isEmpty());
    }

    void trialEndsWithoutSignal_data()
    {
        QTest::addColumn<int>("ending");
        QTest::newRow("revoked") << 0;
        QTest::newRow("expired") << 1;
        QTest::newRow("upgraded") << 2;
    }

    void trialEndsWithoutSignal()
    {
        QFETCH(int, ending);
        m_store->detachAll();
        TrialConversionTracker tracker;
        tracker.storeTrial(TrialConversionTracker::StoredTrial{"com.example.monthly", 4242});
        tracker.startObservingTransactions();
        PurchaseTransaction update = subscription(5.0, false);
        if (ending == 0)
            update.revocationDate = m_client.platform->clock;
        else if (ending == 1)
            update.expirationDate = m_client.platform->clock.addSecs(-1);
        else
            update.isUpgraded = true;
        m_store->deliver({true, update});
        QVERIFY(tracker.waitForPersistence(10000));
        QVERIFY(!TrialConversionTracker::loadStoredTrial());
        QVERIFY(!tracker.isObserving());
        QCOMPARE(m_store->observers(), 0);
        QVERIFY(received().isEmpty());

        // A trial that does not decode counts as none.
        SignalHub::telemetryDefaultsSuite()->setValue("lastTrial", QByteArray("{\"productID\":3}"));
        QVERIFY(!TrialConversionTracker::loadStoredTrial());
        SignalHub::telemetryDefaultsSuite()->remove("lastTrial");
    }

    void errorsCarryIdentifiersAndCategories()
    {
        QCOMPARE(errorCategoryRawValue(ErrorCategory::userInput), QStringLiteral("user-input"));
        QCOMPARE(errorCategoryFromRawValue("app-state"), std::optional<ErrorCategory>(ErrorCategory::appState));
        QVERIFY(!errorCategoryFromRawValue("User-Input"));
        QVERIFY(!errorCategoryFromRawValue("user_input"));

        const AnyIdentifiableError wrapped = with(std::runtime_error("Disk full"), QStringLiteral("disk-full"));
        QCOMPARE(wrapped.errorDescription(), QStringLiteral("Disk full"));
        QCOMPARE(QString::fromUtf8(wrapped.what()), QStringLiteral("Disk full"));
        const AnyIdentifiableError copy = wrapped;
        QCOMPARE(copy.error(), wrapped.error());

        Tallyline::errorOccurred(QStringLiteral("bare"));
        Tallyline::errorOccurred(QStringLiteral("full"), ErrorCategory::userInput, QStringLiteral("bad input"), {}, 2.5);
        Tallyline::errorOccurred(MissingFile(), ErrorCategory::thrownException);
        Tallyline::errorOccurred(MissingFile(), ErrorCategory::appState, std::nullopt);
        Tallyline::errorOccurred(MissingFile(), ErrorCategory::appState, QStringLiteral("mine"));
        Tallyline::errorOccurred(wrapped, ErrorCategory::thrownException, {{"Tallyline.Error.id", "replaced"}});
        const QList<Received> s = received();
        QCOMPARE(s.size(), 6);
        for (const Received &signal : s)
            QCOMPARE(signal.type, QStringLiteral("Tallyline.Error.occurred"));
        QCOMPARE(s[0].parameters, (QMap<QString, QString>{{"Tallyline.Error.id", "bare"}}));
        QVERIFY(!s[0].floatValue);
        QCOMPARE(s[1].parameters, (QMap<QString, QString>{{"Tallyline.Error.id", "full"},
                                                          {"Tallyline.Error.category", "user-input"},
                                                          {"Tallyline.Error.message", "bad input"}}));
        QCOMPARE(*s[1].floatValue, 2.5);
        QCOMPARE(s[2].parameters, (QMap<QString, QString>{{"Tallyline.Error.id", "missing-file"},
                                                          {"Tallyline.Error.category", "thrown-exception"},
                                                          {"Tallyline.Error.message", "The file is gone."}}));
        QCOMPARE(s[3].parameters, (QMap<QString, QString>{{"Tallyline.Error.id", "missing-file"},
                                                          {"Tallyline.Error.category", "app-state"}}));
        QCOMPARE(s[4].parameters.value("Tallyline.Error.message"), QStringLiteral("mine"));
        QCOMPARE(s[5].parameters, (QMap<QString, QString>{{"Tallyline.Error.id", "replaced"},
                                                          {"Tallyline.Error.category", "thrown-exception"},
                                                          {"Tallyline.Error.message", "Disk full"}}));
    }

    void navigationFollowsTheLastDestination()
    {
        using P = QMap<QString, QString>;
        auto move = [](const QString &from, const QString &to) {
            return P{{"Tallyline.Navigation.schemaVersion", "1"},
                     {"Tallyline.Navigation.identifier", from + " -> " + to},
                     {"Tallyline.Navigation.sourcePath", from},
                     {"Tallyline.Navigation.destinationPath", to}};
        };
        QVERIFY(!NavigationStatus::shared().previousNavigationPath);

        QWidget groups;
        QWidget settings;
        Tallyline::trackNavigation(&groups, QStringLiteral("groups"));
        Tallyline::trackNavigation(&settings, QStringLiteral("settings"));
        groups.show();
        settings.show();
        groups.hide();
        Tallyline::trackNavigation(&groups, QStringLiteral("groups/list")); // no signal until it shows again
        groups.show();
        Tallyline::navigationPathChanged(QStringLiteral("x"), QStringLiteral("y"));
        Tallyline::navigate(QStringLiteral("z"));

        // Dropped while disabled, yet remembered.
        m_client.configuration->setAnalyticsDisabled(true);
        Tallyline::navigate(QStringLiteral("hidden"));
        m_client.configuration->setAnalyticsDisabled(false);
        Tallyline::navigationPathChanged(QStringLiteral("shown"));

        const QList<Received> s = received();
        const QList<P> expected{move("", "groups"), move("groups", "settings"), move("settings", "groups/list"),
                                move("x", "y"), move("y", "z"), move("hidden", "shown")};
        QCOMPARE(s.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(s[i].type, QStringLiteral("Tallyline.Navigation.pathChanged"));
            QCOMPARE(s[i].parameters, expected[i]);
            QVERIFY(!s[i].floatValue);
        }
    }
};

KESTROWAN_TEST_MAIN(TallylinePresetsTest)
#include "tst_tallyline_presets.moc"
