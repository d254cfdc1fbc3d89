// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked formatter for translated texts; a translated text never reaches printf.
//
// Placeholders: "%" [index ":"] ["-"] [width] ["." precision] type, width and precision may be
// "*" (taken from the next integer argument); types d u x (integers), e f g n (numbers: floating
// point or integers), s (text), and "%%". Hexadecimal digits are upper case. Separators for f, g, e
// and n, and for "%d" of a count, are the program's number separators (the prefix's, once the
// program has read them). Arguments not used by the format are ignored.
#pragma once

#include <QList>
#include <QString>

// One typed argument. Integers remember whether they were 32 or 64 bits wide, so "%x" and "%u" of
// -1 give FFFFFFFF for an int and FFFFFFFFFFFFFFFF for a qint64.
class TFormatArg
{
public:
    enum class TKind { Integer, Floating, Text };

    TFormatArg(int v) : FKind(TKind::Integer), FInt(v), FWide(false) {}
    TFormatArg(unsigned v) : FKind(TKind::Integer), FInt(qint64(v)), FWide(true) {}
    TFormatArg(long v) : FKind(TKind::Integer), FInt(qint64(v)), FWide(true) {}
    TFormatArg(long long v) : FKind(TKind::Integer), FInt(qint64(v)), FWide(true) {}
    TFormatArg(unsigned long v) : FKind(TKind::Integer), FInt(qint64(v)), FWide(true) {}
    TFormatArg(unsigned long long v) : FKind(TKind::Integer), FInt(qint64(v)), FWide(true) {}
    TFormatArg(double v) : FKind(TKind::Floating), FFloat(v) {}
    TFormatArg(const QString &v) : FKind(TKind::Text), FText(v) {}
    TFormatArg(const char *v) : FKind(TKind::Text), FText(QString::fromUtf8(v)) {}
    // A number of things shown to the user: "%d" writes it with thousands separators ("400,006"),
    // which a translation's "%d" then shows too.
    static TFormatArg Count(qint64 v)
    {
        TFormatArg arg(static_cast<long long>(v));
        arg.FGrouped = true;
        return arg;
    }

    TKind Kind() const { return FKind; }
    qint64 Integer() const { return FInt; }
    bool Wide() const { return FWide; }
    bool Grouped() const { return FGrouped; }
    double Floating() const { return FFloat; }
    const QString &Text() const { return FText; }

private:
    TKind FKind;
    qint64 FInt = 0;
    bool FWide = false;
    bool FGrouped = false;
    double FFloat = 0;
    QString FText;
};

// The fixed text shown instead of a format that does not fit its arguments; SafeFormat appends
// CR CR and the format to it.
extern const QString SafeFormatErrorText;

// Formats; false when the format does not fit its arguments (a placeholder of the wrong type, too
// few arguments, a malformed placeholder, a width or precision over 4096). *out is set only on success.
bool TryFormat(const QString &format, const QList<TFormatArg> &args, QString *out);

// Never fails: on any formatting error the result is SafeFormatErrorText + "\r\r" + format.
QString SafeFormat(const QString &format, const QList<TFormatArg> &args);

template <typename... TArgs>
QString SafeFormat(const QString &format, const TArgs &...args)
{
    return SafeFormat(format, QList<TFormatArg>{TFormatArg(args)...});
}

// A number as "%.<decimals>n" writes it: the thousands separators and decimal point.
QString GroupedNumber(double value, int decimals = 0);
// A count as the lists and status texts show it: "400,006" with the thousands separator.
QString CountText(qint64 count);

// The separators numbers are written with: Windows' defaults until the program has read the
// prefix's (its HKEY_CURRENT_USER\Control Panel\International "sThousand" and "sDecimal").
struct TNumberSeparators {
    QString Thousand = QStringLiteral(",");
    QString Decimal = QStringLiteral(".");
};
void SetNumberSeparators(const TNumberSeparators &separators);
TNumberSeparators NumberSeparators();
