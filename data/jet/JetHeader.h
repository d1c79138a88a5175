#pragma once

#include "data/jet/JetFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace jet {

// The part of the database definition page (page 0) that Jet 4 scrambles with a fixed RC4 key.
constexpr int kHeaderMaskStart = 0x18;
constexpr int kHeaderMaskLength = 128;
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordBytes = 40; // 20 UTF-16 code units
constexpr int kCreationDateOffset = 0x72;

// The password of the directory database: the program opens its file with it, the tools write
// and read it unless told otherwise.
constexpr char kDirectoryPassword[] = "41729063";

// In-place RC4 (encryption and decryption are the same operation).
void rc4(const unsigned char *key, int keyLength, unsigned char *data, int length);

// True when `page0` starts like the definition page of a Jet 4 database ("Standard Jet DB", version 1).
bool looksLikeJetHeader(const QByteArray &page0);
// Jet version byte at 0x14 (0 = Jet 3, 1 = Jet 4, >1 = ACE); -1 when the page is too short.
int jetVersion(const QByteArray &page0);

// The database password stored in a Jet 4 definition page; empty when there is none.
// Throws nothing: a page that is not a Jet 4 header gives an empty string.
QString readDatabasePassword(const QByteArray &page0);

// Jet Date/Time value: days since 1899-12-30, the fraction being the time of day. Before that
// day the integer part is negative while the time still counts forwards.
double toJetDate(const QDateTime &dt);
QDateTime fromJetDate(double value);

// Builds a complete definition page. `password` holds at most 20 UTF-16 code units.
QByteArray buildHeaderPage(const QString &password, double creationDate);

} // namespace jet
