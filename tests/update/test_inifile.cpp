// The INI reader: the profile file rules, both number rules and the GBK-limited string read.
#include "platform/IniFile.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void fileStructure();
    void lineEndsAndEncodings();
    void missingFileSectionKey();
    void profileIntRule_data();
    void profileIntRule();
    void readIntegerRule_data();
    void readIntegerRule();
    void stringLimitInGbkBytes();
};

void TestIniFile::fileStructure()
{
    const IniFile ini = IniFile::fromData("orphan=1\n"
                                          "; a comment\n"
                                          "  [ Version ]  \n"
                                          "  VER  =  7  \n"
                                          "ver=8\n"
                                          ";Url=commented\n"
                                          "no equals sign here\n"
                                          "Url = \"http://example.test/a b\"\n"
                                          "[Other]\n"
                                          "Ver=9\n"
                                          "[version]\n"
                                          "Extra=only in the second section\n");
    // Names without regard to case, blanks trimmed, the first key of a name wins.
    QCOMPARE(ini.value("version", "ver").value(), QStringLiteral("7"));
    QCOMPARE(ini.profileInt("VERSION", "Ver", 0), 7);
    // A key before any section belongs to none.
    QVERIFY(!ini.value("", "orphan").has_value());
    // Only the first section of a name is searched.
    QVERIFY(!ini.value("Version", "Extra").has_value());
    QCOMPARE(ini.value("Other", "Ver").value(), QStringLiteral("9"));
    // The string read removes one pair of quotes, the raw value keeps them.
    QCOMPARE(ini.profileString("Version", "url", {}, 200), QStringLiteral("http://example.test/a b"));
    QCOMPARE(ini.value("Version", "url").value(), QStringLiteral("\"http://example.test/a b\""));
    // Comment lines are no keys.
    QCOMPARE(ini.profileString("Version", ";Url", QStringLiteral("none"), 200), QStringLiteral("none"));
}

void TestIniFile::lineEndsAndEncodings()
{
    for (const QByteArray &eol : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
        const IniFile ini = IniFile::fromData("[Version]" + eol + "Ver=3" + eol + "url=x" + eol);
        QCOMPARE(ini.profileInt("Version", "Ver", 0), 3);
        QCOMPARE(ini.profileString("Version", "url", {}, 200), QStringLiteral("x"));
    }

    const QString url = QStringLiteral("http://例子.测试/下载");
    QStringEncoder gbk("GBK");
    QVERIFY(gbk.isValid());
    const QByteArray gbkBytes = QByteArray("[Version]\r\nurl=") + QByteArray(gbk.encode(url)) + "\r\n";
    QCOMPARE(IniFile::fromData(gbkBytes).profileString("Version", "url", {}, 200), url);

    const QByteArray utf8 = "[Version]\nurl=" + url.toUtf8() + "\n";
    QCOMPARE(IniFile::fromData(utf8).profileString("Version", "url", {}, 200), url);
    // A byte order mark is not part of the first section name.
    QCOMPARE(IniFile::fromData("\xEF\xBB\xBF" + utf8).profileString("Version", "url", {}, 200), url);

    QByteArray utf16("\xFF\xFE");
    const QString text = QStringLiteral("[Version]\r\nVer=12\r\n");
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QCOMPARE(IniFile::fromData(utf16).profileInt("Version", "Ver", 0), 12);
}

void TestIniFile::missingFileSectionKey()
{
    QTemporaryDir dir;
    const IniFile none(dir.filePath("absent.ini"));
    QCOMPARE(none.profileInt("Version", "Ver", 0), 0);
    QCOMPARE(none.ReadInteger("Version", "Ver", 1), 1);
    QCOMPARE(none.profileString("Version", "url", {}, 200), QString());

    QFile f(dir.filePath("a.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Other]\nVer=5\n[Version]\nVer=\n");
    f.close();
    const IniFile ini(f.fileName());
    QCOMPARE(ini.profileInt("Nope", "Ver", 4), 4);
    QCOMPARE(ini.profileInt("Other", "Nope", 4), 4);
    // An empty value: the default for both number rules.
    QCOMPARE(ini.profileInt("Version", "Ver", 4), 4);
    QCOMPARE(ini.ReadInteger("Version", "Ver", 1), 1);
}

void TestIniFile::profileIntRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << "" << 99;
    QTest::newRow("plain") << "42" << 42;
    QTest::newRow("leading blanks") << "  \t42" << 42;
    QTest::newRow("minus") << "-7" << -7;
    QTest::newRow("plus") << "+7" << 7;
    QTest::newRow("hex") << "0x1A" << 26;
    QTest::newRow("hex upper") << "0X1a" << 26;
    QTest::newRow("negative hex") << "-0x10" << -16;
    QTest::newRow("trailing text") << "12abc" << 12;
    QTest::newRow("no digits") << "abc" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("bare 0x") << "0x" << 0;
    QTest::newRow("dollar is no hex") << "$10" << 0;
    QTest::newRow("wraps") << "4294967295" << -1;
    QTest::newRow("int min") << "0x80000000" << INT_MIN;
}

void TestIniFile::profileIntRule()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(IniFile::profileIntOf(text, 99), expected);
    // Through a file, with the quotes the profile functions take off a value.
    const IniFile ini = IniFile::fromData("[Version]\nVer=\"" + text.toUtf8() + "\"\n");
    QCOMPARE(ini.profileInt("Version", "Ver", 99), expected);
}

void TestIniFile::readIntegerRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("plain") << "16" << 16;
    QTest::newRow("0x") << "0x10" << 16;
    QTest::newRow("0X") << "0X10" << 16;
    QTest::newRow("dollar") << "$10" << 16;
    QTest::newRow("minus") << "-5" << -5;
    QTest::newRow("plus") << "+5" << 5;
    QTest::newRow("negative hex") << "-$10" << -16;
    QTest::newRow("trailing text") << "12abc" << 1;
    QTest::newRow("inner blank") << "1 2" << 1;
    QTest::newRow("text") << "abc" << 1;
    QTest::newRow("bare 0x") << "0x" << 1;
    QTest::newRow("bare dollar") << "$" << 1;
    QTest::newRow("bad hex digit") << "0x1G" << 1;
    QTest::newRow("int max") << "2147483647" << INT_MAX;
    QTest::newRow("int max + 1") << "2147483648" << 1;
    QTest::newRow("int min") << "-2147483648" << INT_MIN;
    QTest::newRow("long decimal") << "99999999999999999999" << 1;
    QTest::newRow("hex all bits") << "0xFFFFFFFF" << -1;
    QTest::newRow("hex too long") << "0x100000000" << 1;
}

void TestIniFile::readIntegerRule()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(IniFile::readIntegerOf(text, 1), expected);
    // Through a file: the value is trimmed by the reader first.
    const IniFile ini = IniFile::fromData("[Version]\nVer= " + text.toUtf8() + " \n");
    QCOMPARE(ini.ReadInteger("Version", "Ver", 1), expected);
}

void TestIniFile::stringLimitInGbkBytes()
{
    const QString ascii(250, QLatin1Char('a'));
    QCOMPARE(IniFile::truncateToGbkBytes(ascii, 199), ascii.left(199));

    // 198 single bytes and a double-byte character: the character does not fit and goes whole.
    const QString cut = QString(198, QLatin1Char('b')) + QStringLiteral("中文");
    QCOMPARE(IniFile::truncateToGbkBytes(cut, 199), QString(198, QLatin1Char('b')));
    // One single byte and double-byte characters: 1 + 2 * 99 = 199.
    const QString han = QStringLiteral("a") + QString(120, QChar(0x4E2D));
    QCOMPARE(IniFile::truncateToGbkBytes(han, 199), QStringLiteral("a") + QString(99, QChar(0x4E2D)));

    const IniFile ini = IniFile::fromData("[Version]\nurl=" + cut.toUtf8() + "\n");
    QCOMPARE(ini.profileString("Version", "url", {}, 200), QString(198, QLatin1Char('b')));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
