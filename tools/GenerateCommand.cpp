#include "tools/GenerateCommand.h"

#include "data/jet/DirectorySchema.h"
#include "data/jet/Writer.h"
#include "tools/BuildCommand.h"
#include "tools/GeneratorWords.h"
#include "tools/ToolSupport.h"

#include <QStringList>

#include <cstdio>
#include <random>

namespace {

using namespace generatorwords;

class Generator
{
public:
    explicit Generator(quint64 seed) : m_rng(seed)
    {
        m_provinces = words(kProvinces);
        for (const char *c : kCities)
            m_cities.push_back(words(c));
        for (int w : kProvinceWeights)
            m_provinceWeightTotal += w;
        m_specialities = words(kSpecialities);
        m_hkAreas = words(kHongKongAreas);
        m_surnames = words(kSurnames);
        m_male = words(kMaleChars);
        m_female = words(kFemaleChars);
        m_roads = words(kRoads);
        m_buildings = words(kBuildings);
        m_districts = words(kDistricts);
        for (const char *d : kMunicipalDistricts)
            m_municipalDistricts.push_back(words(d));
        m_brand1 = words(kBrandFirst);
        m_brand2 = words(kBrandSecond);
        m_hkPosts = words(kHongKongPosts);
        m_hkDistricts = words(kHongKongDistricts);
        m_hkStreets = words(kHongKongStreets);
        m_macaoAreas = words(kMacaoAreas);
        m_twAreas = words(kTaiwanAreas);
        for (const auto &place : kTaiwanPlaces) {
            m_twCities << QString::fromUtf8(place[0]);
            m_twDistricts.push_back(words(place[1]));
        }
        m_twRoads = words(kTaiwanRoads);
        m_twSections = words(kTaiwanSections);
        m_western = words(kWesternNames);
        m_ptGiven = words(kPortugueseGiven);
        m_ptSurnames = words(kPortugueseSurnames);
    }

    quint64 below(quint64 n) { return n ? m_rng() % n : 0; }
    bool chance(int percent) { return below(100) < quint64(percent); }
    const QString &pick(const QStringList &list) { return list.at(qsizetype(below(quint64(list.size())))); }

    // Several distinct items joined the way people write lists in Chinese.
    QString several(const QStringList &list, int lo, int hi, const QString &sep = QStringLiteral("、"))
    {
        const int n = lo + int(below(quint64(hi - lo + 1)));
        QStringList chosen;
        while (chosen.size() < n && chosen.size() < list.size()) {
            const QString &s = pick(list);
            if (!chosen.contains(s))
                chosen << s;
        }
        return chosen.join(sep);
    }

    int province()
    {
        int r = int(below(quint64(m_provinceWeightTotal)));
        for (int i = 0; i < int(std::size(kProvinceWeights)); ++i) {
            r -= kProvinceWeights[i];
            if (r < 0)
                return i;
        }
        return 0;
    }

    QString chineseName(bool male)
    {
        const QStringList &chars = male ? m_male : m_female;
        QString name = pick(m_surnames) + pick(chars);
        if (chance(70))
            name += pick(chars);
        return name;
    }

    QString mainlandAddress(int prov, const QString &city)
    {
        const bool municipality = prov < 4;
        QString a = city + QStringLiteral("市");
        if (municipality)
            a += pick(m_municipalDistricts[size_t(prov)]) + QStringLiteral("区");
        else if (chance(40))
            a += pick(m_districts) + QStringLiteral("区");
        a += pick(m_roads) + (chance(50) ? QStringLiteral("路") : QStringLiteral("大街"));
        a += QString::number(1 + below(399)) + QStringLiteral("号");
        if (chance(60))
            a += pick(m_buildings) + QString::number(2 + below(30)) + QStringLiteral("层");
        return a;
    }

    QString speciality()
    {
        // The exact search compares the whole value, so most entries hold exactly one.
        return chance(88) ? pick(m_specialities) : several(m_specialities, 2, 3);
    }

    QString firmName(const QString &place)
    {
        return place + pick(m_brand1) + pick(m_brand2) + QStringLiteral("律师事务所");
    }

    // A Hong Kong name, Chinese and romanised.
    QString hongKongName()
    {
        const Romanised &s = kHkSurnames[below(std::size(kHkSurnames))];
        const Romanised &g1 = kHkGiven[below(std::size(kHkGiven))];
        const Romanised &g2 = kHkGiven[below(std::size(kHkGiven))];
        QString chinese = QString::fromUtf8(s.chinese) + QString::fromUtf8(g1.chinese);
        QString latin = QString::fromUtf8(s.latin) + u' ' + QString::fromUtf8(g1.latin);
        if (chance(85)) {
            chinese += QString::fromUtf8(g2.chinese);
            latin += u' ' + QString::fromUtf8(g2.latin);
        }
        if (chance(35))
            latin = pick(m_western) + u' ' + latin;
        return chinese + QStringLiteral(" (") + latin + u')';
    }

    QString hongKongAddress()
    {
        return QStringLiteral("香港") + pick(m_hkDistricts) + pick(m_hkStreets) + QString::number(1 + below(200))
               + QStringLiteral("号") + pick(m_buildings) + QString::number(2 + below(40)) + QStringLiteral("楼")
               + (chance(50) ? QString::number(1 + below(30)) + QStringLiteral("室") : QString());
    }

    QString macaoName()
    {
        if (chance(12))
            return pick(m_ptGiven) + u' ' + pick(m_ptSurnames) + u' ' + pick(m_ptSurnames);
        return chineseName(chance(60));
    }

    QString taiwanAddress(int place)
    {
        QString a = m_twCities.at(place) + pick(m_twDistricts[size_t(place)]) + pick(m_twRoads);
        if (chance(50))
            a += pick(m_twSections);
        a += QString::number(1 + below(300)) + QStringLiteral("号");
        if (chance(60))
            a += QString::number(2 + below(25)) + QStringLiteral("楼");
        return a;
    }

    QDate dateBetween(int fromYear, int toYear)
    {
        const QDate from(fromYear, 1, 1);
        return from.addDays(qint64(below(quint64(from.daysTo(QDate(toYear, 12, 31)) + 1))));
    }

    std::mt19937_64 m_rng;
    QStringList m_provinces;
    std::vector<QStringList> m_cities;
    std::vector<QStringList> m_municipalDistricts;
    int m_provinceWeightTotal = 0;
    QStringList m_specialities, m_hkAreas, m_surnames, m_male, m_female, m_roads, m_buildings, m_districts;
    QStringList m_brand1, m_brand2, m_hkPosts, m_hkDistricts, m_hkStreets, m_macaoAreas, m_twAreas;
    std::vector<QStringList> m_twDistricts;
    QStringList m_twCities, m_twRoads, m_twSections, m_western, m_ptGiven, m_ptSurnames;
};

void generate(jet::Writer &w, qint64 lawyers, quint64 seed)
{
    Generator g(seed);
    const auto &schema = jet::directorySchema();
    auto scaled = [&](qint64 divisor) { return lawyers > 0 ? std::max<qint64>(1, lawyers / divisor) : 0; };
    QVector<QVariant> row;

    w.beginTable(schema[0]); // lawyer
    for (qint64 i = 0; i < lawyers; ++i) {
        const bool male = g.chance(68);
        const int p = g.province();
        const QString &city = g.pick(g.m_cities[size_t(p)]);
        row = {QVariant(qint32(i + 1)),
               g.chineseName(male),
               male ? QStringLiteral("男") : QStringLiteral("女"),
               g.m_provinces.at(p),
               city,
               g.chance(95) ? QVariant(g.mainlandAddress(p, city)) : QVariant(),
               g.speciality()};
        w.addRow(row);
    }
    w.endTable();

    w.beginTable(schema[1]); // lawRoom
    const qint64 firms = scaled(10);
    for (qint64 i = 0; i < firms; ++i) {
        const int p = g.province();
        const QString &city = g.pick(g.m_cities[size_t(p)]);
        const QString place = g.chance(50) ? g.m_provinces.at(p) : city;
        QVariant site;
        if (g.chance(80))
            site = QStringLiteral("http://www.firm%1.example.com/").arg(i + 1);
        else if (g.chance(30))
            site = QString(QLatin1String(""));
        row = {g.firmName(place), g.chineseName(g.chance(75)), city, g.m_provinces.at(p), site, g.speciality()};
        w.addRow(row);
    }
    w.endTable();

    w.beginTable(schema[2]); // Hongkong
    for (qint64 i = 0, n = scaled(4); i < n; ++i) {
        row = {g.hongKongName(), g.pick(g.m_hkPosts), g.hongKongAddress(), g.several(g.m_hkAreas, 1, 4)};
        w.addRow(row);
    }
    w.endTable();

    w.beginTable(schema[3]); // HongkongLawyerInfo
    for (qint64 i = 0, n = scaled(20); i < n; ++i) {
        const Romanised &a = kHkSurnames[g.below(std::size(kHkSurnames))];
        const Romanised &b = kHkSurnames[g.below(std::size(kHkSurnames))];
        QString name = QString::fromUtf8(a.chinese) + QString::fromUtf8(b.chinese)
                       + (g.chance(50) ? QStringLiteral("律师行") : QStringLiteral("律师事务所"));
        QStringList partners;
        const int count = 1 + int(g.below(8));
        for (int k = 0; k < count; ++k)
            partners << g.hongKongName();
        row = {name, partners.join(QStringLiteral("、")), g.several(g.m_hkAreas, 2, 6)};
        w.addRow(row);
    }
    w.endTable();

    w.beginTable(schema[4]); // Macao
    for (qint64 i = 0, n = scaled(20); i < n; ++i) {
        const QDate admitted = g.dateBetween(1985, 2022);
        const QDate registered = admitted.addDays(qint64(g.below(3 * 365)));
        const bool trainee = g.chance(15);
        row = {g.macaoName(), QDateTime(admitted, QTime(0, 0)), QDateTime(registered, QTime(0, 0)),
               trainee ? QStringLiteral("实习律师") : QStringLiteral("执业律师"), g.several(g.m_macaoAreas, 1, 4)};
        w.addRow(row);
    }
    w.endTable();

    w.beginTable(schema[5]); // Taiwan
    for (qint64 i = 0, n = scaled(8); i < n; ++i) {
        const bool male = g.chance(65);
        const int place = int(g.below(quint64(g.m_twCities.size())));
        row = {g.chineseName(male), male ? QStringLiteral("男") : QStringLiteral("女"), g.m_twCities.at(place),
               g.taiwanAddress(place), g.several(g.m_twAreas, 1, 4)};
        w.addRow(row);
    }
    w.endTable();
}

} // namespace

int runGenerateCommand(const QStringList &args)
{
    QString out;
    qint64 lawyers = 2000;
    quint64 seed = 1;
    for (int i = 0; i < args.size(); ++i) {
        QString a;
        QString value;
        const bool joined = splitOption(args[i], &a, &value);
        if (a == QLatin1String("--lawyers") || a == QLatin1String("--seed")) {
            bool ok = false;
            if (!joined && i + 1 < args.size())
                value = args[++i];
            if (joined || !value.isNull()) {
                if (a == QLatin1String("--lawyers"))
                    lawyers = value.toLongLong(&ok);
                else
                    seed = value.toULongLong(&ok);
            }
            // Five million lawyers and the other tables take about 1.4 GB, within Jet's 2 GB.
            if (!ok || lawyers < 0 || lawyers > 5000000) {
                printError(QStringLiteral("generate"), QStringLiteral("%1 需要一个数（律师最多 5000000 名）").arg(a));
                return 1;
            }
        } else if (args[i].startsWith(QLatin1String("--"))) {
            printError(QStringLiteral("generate"), QStringLiteral("未知选项 %1").arg(a));
            return 1;
        } else if (out.isEmpty()) {
            out = args[i];
        } else {
            printError(QStringLiteral("generate"), QStringLiteral("多余的参数 %1").arg(args[i]));
            return 1;
        }
    }
    if (out.isEmpty()) {
        printError(QStringLiteral("generate"),
                   QStringLiteral("参数不对，用法: lssdb generate OUT [--lawyers N] [--seed S]"));
        return 1;
    }
    QString error;
    out = resolveOutputFile(out, &error);
    if (out.isEmpty()) {
        printError(QStringLiteral("generate"), error);
        return 1;
    }
    try {
        jet::Writer writer(out);
        // A fixed creation date keeps the output of one seed byte for byte the same.
        writer.setCreationDate(QDateTime(QDate(2009, 3, 16), QTime(9, 30, 0)));
        generate(writer, lawyers, seed);
        writer.finish();
    } catch (const jet::Error &e) {
        printError(QStringLiteral("generate"), writerErrorInChinese(e.message()));
        return 1;
    }
    return 0;
}
