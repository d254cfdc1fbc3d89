// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the undo line of a value taken from the live registry.
#include "UndoFiles.h"

namespace UndoFiles {

bool LiveValueLine(const TRegistry &registry, const QString &valueName, QString *line)
{
    line->clear();
    if (!IsStorableName(valueName))
        return false;
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

}  // namespace UndoFiles
