#pragma once

#include <QString>
#include <QtGlobal>

namespace jet {

// Column type codes of Jet 4: the one identity of a column's type, for reader and writer.
enum : quint8 {
    kBoolean = 0x01,
    kByte = 0x02,
    kInteger = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kSingle = 0x06,
    kDouble = 0x07,
    kDateTime = 0x08,
    kBinary = 0x09,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
    kGuid = 0x0F,
    kDecimal = 0x10,
};

// The bytes a value of a fixed-size type takes; 0 for the variable types and Yes/No (whose value
// is its bit in the null mask). Jet keeps every column of these types fixed and of exactly this
// size.
int fixedSize(quint8 type);

// The names of the types: as the Chinese table designer shows them (in messages to the user), or
// as Access's English one does (in the tools' schemas and messages).
enum class TypeNames { Chinese, English };

// The name of a type; an unknown code is named by its number.
QString typeName(quint8 type, TypeNames names = TypeNames::Chinese);

} // namespace jet
