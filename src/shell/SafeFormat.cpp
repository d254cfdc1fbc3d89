// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked formatter for translated texts.
#include "shell/SafeFormat.h"

#include <cmath>
#include <mutex>
#include <optional>

const QString SafeFormatErrorText = QStringLiteral(
    "Can't show the real text here! There might be an error in the translation. Please contact Orvendal!");

namespace {

std::mutex GSeparatorsMutex;
TNumberSeparators &Separators()
{
    static TNumberSeparators separators;
    return separators;
}

// A translated format is untrusted input: a width of 2^31 must not allocate gigabytes.
constexpr int MaxWidth = 4096;

struct TSpec {
    bool LeftJustify = false;
    int Width = -1;      // -1: none
    int Precision = -1;  // -1: none
    QChar Type;
};

class TFormatter
{
public:
    TFormatter(const QString &format, const QList<TFormatArg> &args) : FFormat(format), FArgs(args) {}

    bool Run(QString *out)
    {
        QString result;
        result.reserve(FFormat.size());
        while (FPos < FFormat.size()) {
            const QChar c = FFormat[FPos++];
            if (c != u'%') {
                result += c;
                continue;
            }
            if (FPos >= FFormat.size())
                return false;
            if (FFormat[FPos] == u'%') {
                ++FPos;
                result += u'%';
                continue;
            }
            QString piece;
            if (!Placeholder(&piece))
                return false;
            result += piece;
        }
        *out = result;
        return true;
    }

private:
    const QString &FFormat;
    const QList<TFormatArg> &FArgs;
    qsizetype FPos = 0;
    qsizetype FNextArg = 0;

    const TFormatArg *TakeArg()
    {
        if (FNextArg < 0 || FNextArg >= FArgs.size())
            return nullptr;
        return &FArgs[FNextArg++];
    }

    // Digits (at most MaxWidth) or "*" (the next argument, an integer 0..MaxWidth); nullopt when
    // neither is there, -2 on an error.
    std::optional<int> NumberOrStar()
    {
        if (FPos < FFormat.size() && FFormat[FPos] == u'*') {
            ++FPos;
            const TFormatArg *arg = TakeArg();
            if (!arg || arg->Kind() != TFormatArg::TKind::Integer || arg->Integer() < 0 || arg->Integer() > MaxWidth)
                return -2;
            return int(arg->Integer());
        }
        if (FPos >= FFormat.size() || FFormat[FPos] < u'0' || FFormat[FPos] > u'9')
            return std::nullopt;
        qint64 value = 0;
        while (FPos < FFormat.size() && FFormat[FPos] >= u'0' && FFormat[FPos] <= u'9') {
            value = value * 10 + (FFormat[FPos++].unicode() - u'0');
            if (value > MaxWidth)
                return -2;
        }
        return int(value);
    }

    bool Placeholder(QString *piece)
    {
        TSpec spec;
        std::optional<int> first = NumberOrStar();
        if (first == -2)
            return false;
        if (first && FPos < FFormat.size() && FFormat[FPos] == u':') {
            ++FPos;
            FNextArg = *first;
            first.reset();
        }
        if (!first) {
            if (FPos < FFormat.size() && FFormat[FPos] == u'-') {
                ++FPos;
                spec.LeftJustify = true;
            }
            first = NumberOrStar();
            if (first == -2)
                return false;
        }
        if (first)
            spec.Width = *first;
        if (FPos < FFormat.size() && FFormat[FPos] == u'.') {
            ++FPos;
            const std::optional<int> precision = NumberOrStar();
            if (precision == -2)
                return false;
            spec.Precision = precision.value_or(0);
        }
        if (FPos >= FFormat.size())
            return false;
        spec.Type = FFormat[FPos++].toLower();

        const TFormatArg *arg = TakeArg();
        if (!arg)
            return false;
        QString text;
        if (!Convert(spec, *arg, &text))
            return false;
        if (spec.Width > text.size()) {
            const QString pad(spec.Width - text.size(), u' ');
            text = spec.LeftJustify ? text + pad : pad + text;
        }
        *piece = text;
        return true;
    }

    static QString MinDigits(QString digits, int precision)
    {
        if (precision > digits.size())
            digits.prepend(QString(precision - digits.size(), u'0'));
        return digits;
    }

    static QString NonFinite(double v)
    {
        if (std::isnan(v))
            return QStringLiteral("NAN");
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    }

    static QString GroupThousands(const QString &digits, const QString &separator)
    {
        QString out;
        const qsizetype n = digits.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0)
                out += separator;
            out += digits[i];
        }
        return out;
    }

    // Fixed notation with the locale's decimal point, and its thousands separator when grouped.
    static QString Fixed(double v, int precision, bool grouped)
    {
        const TNumberSeparators separators = NumberSeparators();
        QString text = QString::number(std::fabs(v), 'f', precision);
        QString whole = text.section(u'.', 0, 0);
        const QString fraction = text.contains(u'.') ? text.section(u'.', 1) : QString();
        if (grouped)
            whole = GroupThousands(whole, separators.Thousand);
        QString out = whole;
        if (!fraction.isEmpty())
            out += separators.Decimal + fraction;
        return v < 0 && HasNonZeroDigit(text) ? u'-' + out : out;
    }

    // "-0.00" is written "0.00".
    static bool HasNonZeroDigit(const QString &text)
    {
        for (const QChar c : text)
            if (c >= u'1' && c <= u'9')
                return true;
        return false;
    }

    static QString Scientific(double v, int precision)
    {
        const int digits = qBound(1, precision, 18);
        QString text = QString::number(std::fabs(v), 'e', digits - 1);  // "1.50000e+02"
        const qsizetype e = text.indexOf(u'e');
        QString mantissa = text.left(e);
        const QChar sign = text[e + 1];
        QString exponent = text.mid(e + 2);
        exponent = MinDigits(exponent, 3);
        mantissa.replace(u'.', NumberSeparators().Decimal);
        return (v < 0 ? QStringLiteral("-") : QString()) + mantissa + u'E' + sign + exponent;
    }

    static QString General(double v, int precision)
    {
        const int digits = qBound(1, precision, 18);
        const double a = std::fabs(v);
        QString out;
        if (a == 0) {
            out = QStringLiteral("0");
        } else {
            QString text = QString::number(a, 'e', digits - 1);
            const qsizetype e = text.indexOf(u'e');
            const int exponent = text.mid(e + 1).toInt();
            if (a >= 0.00001 && exponent + 1 <= digits) {
                out = QString::number(a, 'f', qMax(0, digits - 1 - exponent));
                if (out.contains(u'.')) {
                    while (out.endsWith(u'0'))
                        out.chop(1);
                    if (out.endsWith(u'.'))
                        out.chop(1);
                }
            } else {
                QString mantissa = text.left(e);
                if (mantissa.contains(u'.')) {
                    while (mantissa.endsWith(u'0'))
                        mantissa.chop(1);
                    if (mantissa.endsWith(u'.'))
                        mantissa.chop(1);
                }
                out = mantissa + u'E' + QString::number(exponent);
            }
            out.replace(u'.', NumberSeparators().Decimal);
        }
        return (v < 0 ? QStringLiteral("-") : QString()) + out;
    }

    static bool Convert(const TSpec &spec, const TFormatArg &arg, QString *text)
    {
        const char type = char(spec.Type.unicode() < 128 ? spec.Type.unicode() : 0);
        switch (type) {
        case 'd': {
            if (arg.Kind() != TFormatArg::TKind::Integer)
                return false;
            const qint64 v = arg.Integer();
            const quint64 magnitude = v < 0 ? quint64(0) - quint64(v) : quint64(v);
            *text = MinDigits(QString::number(magnitude), spec.Precision);
            if (arg.Grouped())
                *text = GroupThousands(*text, NumberSeparators().Thousand);
            if (v < 0)
                text->prepend(u'-');
            return true;
        }
        case 'u':
        case 'x': {
            if (arg.Kind() != TFormatArg::TKind::Integer)
                return false;
            const quint64 v = arg.Wide() ? quint64(arg.Integer()) : quint64(quint32(arg.Integer()));
            *text = MinDigits(QString::number(v, type == 'x' ? 16 : 10).toUpper(), spec.Precision);
            return true;
        }
        case 'e':
        case 'f':
        case 'g':
        case 'n': {
            // A count passed as an integer is as good a number as a double; only text does not fit.
            if (arg.Kind() == TFormatArg::TKind::Text)
                return false;
            const double v = arg.Kind() == TFormatArg::TKind::Floating ? arg.Floating() : double(arg.Integer());
            if (!std::isfinite(v))
                *text = NonFinite(v);
            else if (type == 'e')
                *text = Scientific(v, spec.Precision < 0 ? 15 : spec.Precision);
            else if (type == 'g')
                *text = General(v, spec.Precision < 0 ? 15 : spec.Precision);
            else
                *text = Fixed(v, spec.Precision < 0 ? 2 : spec.Precision, type == 'n');
            return true;
        }
        case 's':
            if (arg.Kind() != TFormatArg::TKind::Text)
                return false;
            *text = spec.Precision >= 0 ? arg.Text().left(spec.Precision) : arg.Text();
            return true;
        default:
            return false;
        }
    }
};

}  // namespace

bool TryFormat(const QString &format, const QList<TFormatArg> &args, QString *out)
{
    return TFormatter(format, args).Run(out);
}

QString SafeFormat(const QString &format, const QList<TFormatArg> &args)
{
    QString out;
    if (TryFormat(format, args, &out))
        return out;
    return SafeFormatErrorText + QStringLiteral("\r\r") + format;
}

QString GroupedNumber(double value, int decimals)
{
    return SafeFormat(QStringLiteral("%.*n"), decimals, value);
}

QString CountText(qint64 count)
{
    return SafeFormat(QStringLiteral("%d"), TFormatArg::Count(count));
}

void SetNumberSeparators(const TNumberSeparators &separators)
{
    std::lock_guard lock(GSeparatorsMutex);
    Separators() = separators;
}

TNumberSeparators NumberSeparators()
{
    std::lock_guard lock(GSeparatorsMutex);
    return Separators();
}
