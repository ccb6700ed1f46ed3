#include "records/number_format.h"

#include "records/decimal_digits.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace oxtiva
{

namespace
{

// Texts for values that have no digits; the data files have always shown them so.
std::optional<QString> NonFiniteText(double value)
{
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    return std::nullopt;
}

QString Zeros(int count)
{
    return count > 0 ? QString(count, QLatin1Char('0')) : QString();
}

QString DigitsText(const std::string& digits, int from, int to)
{
    QString text;
    for (int i = from; i < to; ++i)
        text += i < static_cast<int>(digits.size()) ? QLatin1Char(digits[i]) : QLatin1Char('0');
    return text;
}

// Plain notation of 0.d1d2... x 10^exp10 without trailing zeros.
QString PlainText(const TDecimalDigits& d, QChar separator)
{
    const int n = static_cast<int>(d.Digits.size());
    if (d.Exp10 <= 0)
        return QStringLiteral("0") + separator + Zeros(-d.Exp10) + DigitsText(d.Digits, 0, n);
    if (d.Exp10 >= n) return DigitsText(d.Digits, 0, n) + Zeros(d.Exp10 - n);
    return DigitsText(d.Digits, 0, d.Exp10) + separator + DigitsText(d.Digits, d.Exp10, n);
}

QString ScientificText(const TDecimalDigits& d, QChar separator)
{
    const int n = static_cast<int>(d.Digits.size());
    QString text = DigitsText(d.Digits, 0, 1);
    if (n > 1) text += separator + DigitsText(d.Digits, 1, n);
    return text + QStringLiteral("E") + QString::number(d.Exp10 - 1);
}

// A picture pattern taken apart: "0000", "0.000 000", "0.00000E+0", "0.000000E+00".
struct TPicture {
    int IntegerDigits = 1;
    QString Fraction; // '0' for a digit, ' ' for a blank between digits
    bool Scientific = false;
    bool ExponentPlus = false; // "E+" writes the sign of every exponent, "E-" only a minus
    int ExponentDigits = 1;

    int FractionDigits() const { return static_cast<int>(Fraction.count(QLatin1Char('0'))); }
};

std::optional<TPicture> ParsePicture(QStringView pattern)
{
    TPicture p;
    qsizetype i = 0;
    while (i < pattern.size() && pattern[i] == QLatin1Char('0'))
        ++i;
    p.IntegerDigits = static_cast<int>(i);
    if (i < pattern.size() && pattern[i] == QLatin1Char('.')) {
        ++i;
        while (i < pattern.size() &&
               (pattern[i] == QLatin1Char('0') || pattern[i] == QLatin1Char(' ')))
            p.Fraction += pattern[i++];
    }
    if (i + 1 < pattern.size() && pattern[i].toUpper() == QLatin1Char('E') &&
        (pattern[i + 1] == QLatin1Char('+') || pattern[i + 1] == QLatin1Char('-'))) {
        p.Scientific = true;
        p.ExponentPlus = pattern[i + 1] == QLatin1Char('+');
        i += 2;
        const qsizetype start = i;
        while (i < pattern.size() && pattern[i] == QLatin1Char('0'))
            ++i;
        p.ExponentDigits = static_cast<int>(i - start);
    }
    if (i != pattern.size() || p.IntegerDigits == 0 || (p.Scientific && p.ExponentDigits == 0))
        return std::nullopt;
    return p;
}

QString FractionText(const TPicture& p, const std::string& digits, int firstDigit)
{
    QString text;
    int next = firstDigit;
    for (QChar c : p.Fraction) {
        if (c == QLatin1Char(' ')) {
            text += c;
            continue;
        }
        text +=
            next < static_cast<int>(digits.size()) ? QLatin1Char(digits[next]) : QLatin1Char('0');
        ++next;
    }
    return text;
}

QString SignText(const TDecimalDigits& d)
{
    return d.Negative && !d.IsZero() ? QStringLiteral("-") : QString();
}

QString FixedPicture(const TPicture& p, TDecimalDigits d, QChar separator)
{
    d.RoundToDigits(d.Exp10 + p.FractionDigits());
    const int intCount = std::max(d.Exp10, 0);
    QString integer = DigitsText(d.Digits, 0, intCount);
    if (integer.size() < p.IntegerDigits)
        integer = Zeros(p.IntegerDigits - integer.size()) + integer;
    // Digits of the fraction: the ones after the integer part, led by zeros when the
    // number is below 0.1.
    std::string fraction(static_cast<std::size_t>(std::max(-d.Exp10, 0)), '0');
    if (intCount < static_cast<int>(d.Digits.size())) fraction += d.Digits.substr(intCount);
    if (d.IsZero()) fraction.clear();
    QString text = SignText(d) + integer;
    if (!p.Fraction.isEmpty()) text += separator + FractionText(p, fraction, 0);
    return text;
}

QString ScientificPicture(const TPicture& p, TDecimalDigits d, QChar separator)
{
    // Only one integer digit is written in scientific patterns ("0.000E+0").
    d.RoundToDigits(1 + p.FractionDigits());
    const int exponent = d.IsZero() ? 0 : d.Exp10 - 1;
    QString text = SignText(d) + DigitsText(d.IsZero() ? std::string("0") : d.Digits, 0, 1);
    if (!p.Fraction.isEmpty())
        text += separator + FractionText(p, d.IsZero() ? std::string() : d.Digits, 1);
    QString expDigits = QString::number(std::abs(exponent));
    if (expDigits.size() < p.ExponentDigits)
        expDigits = Zeros(p.ExponentDigits - expDigits.size()) + expDigits;
    const QString sign =
        exponent < 0 ? QStringLiteral("-") : (p.ExponentPlus ? QStringLiteral("+") : QString());
    return text + QStringLiteral("E") + sign + expDigits;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Length of the longest prefix of text that reads as a number with the given separator:
// optional sign, digits with at most one separator (at least one digit), optional
// exponent. An exponent without digits does not belong to the number.
qsizetype NumberPrefixLength(QStringView text, QChar separator)
{
    qsizetype i = 0;
    const auto isDigit = [&](qsizetype k) {
        return k < text.size() && text[k] >= QLatin1Char('0') && text[k] <= QLatin1Char('9');
    };
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    qsizetype mantissaDigits = 0;
    while (isDigit(i))
        ++i, ++mantissaDigits;
    if (i < text.size() && text[i] == separator) {
        ++i;
        while (isDigit(i))
            ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0;
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype k = i + 1;
        if (k < text.size() && (text[k] == QLatin1Char('+') || text[k] == QLatin1Char('-'))) ++k;
        if (isDigit(k)) {
            while (isDigit(k))
                ++k;
            i = k;
        }
    }
    return i;
}

// Converts a prefix already checked by NumberPrefixLength; false when it overflows.
bool ConvertNumber(QStringView number, QChar separator, double& value)
{
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(number.size()));
    for (QChar c : number) {
        if (c == QLatin1Char('+') && ascii.empty()) continue; // from_chars takes no plus sign
        ascii += c == separator ? '.' : static_cast<char>(c.unicode());
    }
    double parsed = 0;
    const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (ec == std::errc::result_out_of_range) {
        // An underflow reads as zero; an overflow is no reading at all.
        const auto e = ascii.find_first_of("eE");
        const bool tiny = e != std::string::npos && e + 1 < ascii.size() && ascii[e + 1] == '-';
        if (!tiny) return false;
        parsed = ascii.front() == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc() || end != ascii.data() + ascii.size()) {
        return false;
    }
    value = parsed;
    return true;
}

int ConversionErrorPosition(QStringView text, QChar separator, double& value)
{
    const qsizetype length = NumberPrefixLength(text, separator);
    if (length == 0) return 1;
    if (!ConvertNumber(text.first(length), separator, value)) return 1;
    return length == text.size() ? 0 : static_cast<int>(length) + 1;
}

} // namespace

QChar LocaleDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QLatin1Char('.') : point.front();
}

QString FormatGeneral(double value)
{
    return FormatGeneral(value, LocaleDecimalSeparator());
}

QString FormatGeneral(double value, QChar decimalSeparator)
{
    if (auto text = NonFiniteText(value)) return *text;
    TDecimalDigits d = TDecimalDigits::Of(value);
    d.RoundToDigits(15);
    d.TrimTrailingZeros();
    if (d.IsZero()) return QStringLiteral("0");
    const QString body = (d.Exp10 >= -3 && d.Exp10 <= 15) ? PlainText(d, decimalSeparator)
                                                          : ScientificText(d, decimalSeparator);
    return SignText(d) + body;
}

QString FormatFloat(QStringView pattern, double value)
{
    return FormatFloat(pattern, value, LocaleDecimalSeparator());
}

QString FormatFloat(QStringView pattern, double value, QChar decimalSeparator)
{
    if (auto text = NonFiniteText(value)) return *text;
    const auto picture = ParsePicture(pattern);
    // A pattern this program does not use still shows the number rather than nothing.
    if (!picture) return FormatGeneral(value, decimalSeparator);
    const TDecimalDigits d = TDecimalDigits::Of(value);
    return picture->Scientific ? ScientificPicture(*picture, d, decimalSeparator)
                               : FixedPicture(*picture, d, decimalSeparator);
}

QString FormatDateTime(QStringView pattern, const QDateTime& localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    QString text;
    bool hoursSeen = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QStringView rest = pattern.sliced(i);
        if (rest.startsWith(u"yyyy")) {
            text += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
            i += 4;
        } else if (rest.startsWith(u"mm")) {
            // After the hours "mm" are minutes, before them the month.
            text += TwoDigits(hoursSeen ? time.minute() : date.month());
            i += 2;
        } else if (rest.startsWith(u"dd")) {
            text += TwoDigits(date.day());
            i += 2;
        } else if (rest.startsWith(u"hh")) {
            text += TwoDigits(time.hour());
            hoursSeen = true;
            i += 2;
        } else if (rest.startsWith(u"ss")) {
            text += TwoDigits(time.second());
            i += 2;
        } else {
            text += pattern[i++];
        }
    }
    return text;
}

QString ScpiGeneral(double value)
{
    return FormatGeneral(value, QLatin1Char('.'));
}

QString ScpiFixed6(double value)
{
    return FormatFloat(u"0.000000", value, QLatin1Char('.'));
}

bool ParseScpiDouble(QStringView text, double& value)
{
    return ScpiConversionErrorPosition(text, value) == 0;
}

int ScpiConversionErrorPosition(QStringView text, double& value)
{
    return ConversionErrorPosition(text, QLatin1Char('.'), value);
}

bool ParseLocaleDouble(QStringView text, double& value)
{
    return ConversionErrorPosition(text, LocaleDecimalSeparator(), value) == 0;
}

} // namespace oxtiva
