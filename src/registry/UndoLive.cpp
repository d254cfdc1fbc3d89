// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: undo lines and states taken from the live registry.
#include "UndoFiles.h"

namespace UndoFiles {

bool LiveValueLine(const TRegistry &registry, const QString &valueName, QString *line)
{
    line->clear();
    try {
        switch (registry.GetDataType(valueName)) {
        case TRegDataType::None:
            return false;
        case TRegDataType::String:
            *line = StringLine(valueName, registry.ReadString(valueName));
            break;
        case TRegDataType::ExpandString:
            return ExpandLine(valueName, registry.ReadString(valueName), line);
        case TRegDataType::Integer:
            *line = DwordLine(valueName, registry.ReadInteger(valueName));
            break;
        case TRegDataType::Binary:
            *line = BinaryLine(valueName, registry.ReadBinaryData(valueName));
            break;
        case TRegDataType::MultiString:
            return MultiStringLine(valueName, registry.ReadMultiString(valueName), line);
        case TRegDataType::Other:
            *line = TypedLine(valueName, registry.GetTypeNumber(valueName), registry.ReadBinaryData(valueName));
            break;
        }
    } catch (const ERegistryException &) {
        line->clear();
        return false;
    }
    return IsLossless(*line);
}

QString LiveValueText(const TRegistry &registry, const QString &valueName, const QString &rawFileText)
{
    try {
        switch (registry.GetDataType(valueName)) {
        case TRegDataType::None:
            return {};
        case TRegDataType::String:
        case TRegDataType::ExpandString:
            return registry.ReadString(valueName);
        case TRegDataType::Integer:
            return QStringLiteral("dword:") + QStringLiteral("%1").arg(registry.ReadInteger(valueName), 8, 16, QChar(u'0')).toUpper();
        case TRegDataType::Binary:
            return QStringLiteral("hex:") + HexText(registry.ReadBinaryData(valueName));
        case TRegDataType::MultiString:
            return registry.ReadMultiString(valueName).join(QStringLiteral("\\0"));
        case TRegDataType::Other:
            return rawFileText;
        }
    } catch (const ERegistryException &) {
    }
    return {};
}

qint32 RegEntryState(const TUndoEntry &entry, const QString &rawFileText)
{
    TRegistry registry(RootKeyFromText(entry.Root));
    if (!registry.OpenKeyReadOnly(u'\\' + entry.Key) || !registry.ValueExists(entry.ValueName))
        return 4;
    const TRegDataType type = registry.GetDataType(entry.ValueName);
    const QString live = LiveValueText(registry, entry.ValueName, rawFileText);
    if (type == TRegDataType::Binary)
        return UnbrokenHex(live).compare(UnbrokenHex(entry.Data), Qt::CaseInsensitive) == 0 ? 2 : 3;
    return live.compare(entry.Data, Qt::CaseInsensitive) == 0 ? 2 : 3;
}

}  // namespace UndoFiles
