#include "Tallyline/UsdExchangeRates.h"

namespace {

struct Rate
{
    const char *code;
    double perDollar;
};

// A snapshot of market rates; purchase values are a rough figure, not accounting.
constexpr Rate snapshot[] = {
    {"AED", 3.6725},   {"AFN", 73.9},     {"ALL", 95.45},    {"AMD", 397.6},    {"ANG", 1.79},
    {"AOA", 918.3},    {"ARS", 1054.75},  {"AUD", 1.5742},   {"AWG", 1.79},     {"AZN", 1.7},
    {"BAM", 1.8645},   {"BBD", 2.0},      {"BDT", 121.55},   {"BGN", 1.8645},   {"BHD", 0.376},
    {"BIF", 2961.4},   {"BMD", 1.0},      {"BND", 1.3512},   {"BOB", 6.91},     {"BRL", 5.7842},
    {"BSD", 1.0},      {"BTN", 86.7955},  {"BWP", 13.852},   {"BYN", 3.268},    {"BZD", 2.0},
    {"CAD", 1.4182},   {"CDF", 2846.5},   {"CHF", 0.8997},   {"CLP", 958.4},    {"CNY", 7.2626},
    {"COP", 4118.7},   {"CRC", 506.2},    {"CUP", 24.0},     {"CVE", 105.1},    {"CZK", 23.95},
    {"DJF", 177.721},  {"DKK", 7.1104},   {"DOP", 62.04},    {"DZD", 135.12},   {"EGP", 50.29},
    {"ERN", 15.0},     {"ETB", 126.4},    {"EUR", 0.9533},   {"FJD", 2.3121},   {"FKP", 0.7948},
    {"FOK", 7.1104},   {"GBP", 0.7948},   {"GEL", 2.8467},   {"GGP", 0.7948},   {"GHS", 15.42},
    {"GIP", 0.7948},   {"GMD", 72.46},    {"GNF", 8627.3},   {"GTQ", 7.7321},   {"GYD", 209.3},
    {"HKD", 7.7876},   {"HNL", 25.52},    {"HRK", 7.1827},   {"HTG", 130.9},    {"HUF", 384.7},
    {"IDR", 16297.4},  {"ILS", 3.5612},   {"IMP", 0.7948},   {"INR", 86.7955},  {"IQD", 1309.6},
    {"IRR", 41998.2},  {"ISK", 140.82},   {"JEP", 0.7948},   {"JMD", 157.9},    {"JOD", 0.709},
    {"JPY", 152.3479}, {"KES", 129.21},   {"KGS", 87.45},    {"KHR", 4021.6},   {"KID", 1.5742},
    {"KMF", 469.0},    {"KRW", 1449.6},   {"KWD", 0.3085},   {"KYD", 0.8333},   {"KZT", 515.3},
    {"LAK", 21812.0},  {"LBP", 89500.0},  {"LKR", 297.8},    {"LRD", 197.9},    {"LSL", 18.61},
    {"LYD", 4.918},    {"MAD", 10.01},    {"MDL", 18.72},    {"MGA", 4697.5},   {"MKD", 58.68},
    {"MMK", 2098.6},   {"MNT", 3451.2},   {"MOP", 8.0213},   {"MRU", 39.91},    {"MUR", 46.58},
    {"MVR", 15.45},    {"MWK", 1739.8},   {"MXN", 20.47},    {"MYR", 4.4515},   {"MZN", 63.91},
    {"NAD", 18.61},    {"NGN", 1497.3},   {"NIO", 36.81},    {"NOK", 11.298},   {"NPR", 138.87},
    {"NZD", 1.7731},   {"OMR", 0.3845},   {"PAB", 1.0},      {"PEN", 3.7214},   {"PGK", 4.0163},
    {"PHP", 58.02},    {"PKR", 279.11},   {"PLN", 4.0327},   {"PYG", 7881.5},   {"QAR", 3.64},
    {"RON", 4.7446},   {"RSD", 111.62},   {"RUB", 97.31},    {"RWF", 1412.9},   {"SAR", 3.75},
    {"SBD", 8.4517},   {"SCR", 14.31},    {"SDG", 510.4},    {"SEK", 10.912},   {"SGD", 1.3512},
    {"SHP", 0.7948},   {"SLE", 22.71},    {"SLL", 22710.5},  {"SOS", 571.4},    {"SRD", 35.18},
    {"SSP", 4297.6},   {"STN", 23.356},   {"SYP", 12912.4},  {"SZL", 18.61},    {"THB", 33.72},
    {"TJS", 10.93},    {"TMT", 3.5},      {"TND", 3.1812},   {"TOP", 2.3974},   {"TRY", 36.04},
    {"TTD", 6.7831},   {"TVD", 1.5742},   {"TWD", 32.81},    {"TZS", 2551.3},   {"UAH", 41.62},
    {"UGX", 3681.2},   {"UYU", 43.51},    {"UZS", 12948.7},  {"VES", 60.12},    {"VND", 25301.4},
    {"VUV", 121.98},   {"WST", 2.8241},   {"XAF", 625.32},   {"XCD", 2.7},      {"XDR", 0.7621},
    {"XOF", 625.32},   {"XPF", 113.76},   {"YER", 247.9},    {"ZAR", 18.61},    {"ZMW", 28.04},
    {"ZWL", 26.78},
};

} // namespace

const QMap<QString, double> &usdExchangeRates()
{
    static const QMap<QString, double> rates = [] {
        QMap<QString, double> table;
        for (const Rate &rate : snapshot)
            table.insert(QString::fromLatin1(rate.code), rate.perDollar);
        return table;
    }();
    return rates;
}

std::optional<double> usdExchangeRate(const QString &currencyCode)
{
    const QMap<QString, double> &rates = usdExchangeRates();
    const auto found = rates.constFind(currencyCode);
    if (found == rates.cend())
        return std::nullopt;
    return found.value();
}
