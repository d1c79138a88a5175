#include "data/jet/JetTypes.h"

namespace jet {

int fixedSize(quint8 type)
{
    switch (type) {
    case kByte: return 1;
    case kInteger: return 2;
    case kLong:
    case kSingle: return 4;
    case kCurrency:
    case kDouble:
    case kDateTime: return 8;
    case kGuid: return 16;
    case kDecimal: return 17;
    default: return 0;
    }
}

QString typeName(quint8 type, TypeNames names)
{
    struct Names
    {
        quint8 type;
        const char *chinese;
        const char *english;
    };
    static const Names kNames[] = {
        {kBoolean, "是/否", "Yes/No"},
        {kByte, "字节", "Byte"},
        {kInteger, "整型", "Integer"},
        {kLong, "长整型", "Long Integer"},
        {kCurrency, "货币", "Currency"},
        {kSingle, "单精度型", "Single"},
        {kDouble, "双精度型", "Double"},
        {kDateTime, "日期/时间", "Date/Time"},
        {kBinary, "二进制", "Binary"},
        {kText, "文本", "Text"},
        {kOle, "OLE 对象", "OLE Object"},
        {kMemo, "备注", "Memo"},
        {kGuid, "同步复制 ID", "Replication ID"},
        {kDecimal, "小数", "Decimal"},
    };
    for (const Names &n : kNames)
        if (n.type == type)
            return QString::fromUtf8(names == TypeNames::Chinese ? n.chinese : n.english);
    const QString code = QStringLiteral("%1").arg(int(type), 2, 16, QLatin1Char('0'));
    return names == TypeNames::Chinese ? QStringLiteral("未知类型 0x") + code : QStringLiteral("type 0x") + code;
}

} // namespace jet
