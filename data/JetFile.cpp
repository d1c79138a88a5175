#include "data/JetFile.h"

#include "data/DatabaseError.h"

struct JetFile::Impl
{
};

JetFile::JetFile(const QString &path) : d(new Impl)
{
    throw EDatabaseError(QStringLiteral("找不到文件 '%1'。").arg(path));
}

JetFile::~JetFile() = default;

int JetFile::jetVersion() const { return 4; }
QString JetFile::databasePassword() const { return QString(); }
QStringList JetFile::tableNames() const { return {}; }
QString JetFile::findTable(const QString &) const { return QString(); }
void JetFile::readTable(const QString &, JetRowSink &) const {}
