// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the user's date and time pictures from the prefix's HKCU\\Control Panel\\International.
#include "shell/Batch.h"

#include "platform/Registry.h"

#include <exception>

TUserLocale TUserLocale::FromRegistry(std::shared_ptr<TWinePrefix> prefix)
{
    TUserLocale locale;
    try {
        TRegistry reg(TRootKey::CurrentUser, std::move(prefix));
        if (!reg.OpenKeyReadOnly(QStringLiteral("\\Control Panel\\International")))
            return locale;
        auto take = [&](const char *name, QString &field) {
            const QString key = QLatin1String(name);
            if (reg.GetDataType(key) == TRegDataType::String || reg.GetDataType(key) == TRegDataType::ExpandString) {
                const QString v = reg.ReadString(key);
                if (!v.isEmpty())
                    field = v;
            }
        };
        take("sShortDate", locale.ShortDate);
        take("sTimeFormat", locale.LongTime);
        take("s1159", locale.AM);
        take("s2359", locale.PM);
        take("sThousand", locale.Thousand);
        take("sDecimal", locale.Decimal);
    } catch (const std::exception &) {
    }
    return locale;
}
