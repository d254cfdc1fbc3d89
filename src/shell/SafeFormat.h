// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked formatter for translated texts; a translated text never reaches printf.
//
// Placeholders: "%" [index ":"] ["-"] [width] ["." precision] type, width and precision may be
// "*" (taken from the next integer argument); types d u x (integers), e f g n (numbers: floating
// point or integers), s (text), and "%%". Hexadecimal digits are upper case. Separators for f, g, e and n come from
// QLocale() (the default locale). Arguments not used by the format are ignored.
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

    TKind Kind() const { return FKind; }
    qint64 Integer() const { return FInt; }
    bool Wide() const { return FWide; }
    double Floating() const { return FFloat; }
    const QString &Text() const { return FText; }

private:
    TKind FKind;
    qint64 FInt = 0;
    bool FWide = false;
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

// A number as "%.<decimals>n" writes it: the locale's thousands separators and decimal point.
QString GroupedNumber(double value, int decimals = 0);
