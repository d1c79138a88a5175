#pragma once

// The words a generated directory is made of: the query windows' value lists, and the names,
// places and firms that make entries look real. Included by the generator only.

#include <QString>
#include <QStringList>

namespace generatorwords {

inline QStringList words(const char *spaceSeparated)
{
    return QString::fromUtf8(spaceSeparated).split(u' ', Qt::SkipEmptyParts);
}

// The value lists offered by the query windows.
const char kProvinces[] =
    "北京 上海 天津 重庆 河南 河北 山东 山西 广东 广西 湖南 湖北 四川 云南 西藏 新疆 甘肃 宁夏 江苏 江西 "
    "浙江 贵州 安徽 青海 海南 福建 陕西 辽宁 吉林 黑龙江 内蒙古";
// Cities of each province, in the same order; municipalities are their own city.
const char *const kCities[] = {
    "北京",
    "上海",
    "天津",
    "重庆",
    "郑州 洛阳 开封 南阳 新乡 安阳",
    "石家庄 唐山 保定 邯郸 廊坊 秦皇岛",
    "济南 青岛 烟台 潍坊 淄博 临沂",
    "太原 大同 长治 运城 晋中",
    "广州 深圳 珠海 佛山 东莞 汕头 中山",
    "南宁 桂林 柳州 北海 梧州",
    "长沙 株洲 湘潭 衡阳 岳阳 常德",
    "武汉 宜昌 襄阳 荆州 黄石 十堰",
    "成都 绵阳 德阳 宜宾 南充 乐山",
    "昆明 大理 曲靖 玉溪 丽江",
    "拉萨 日喀则 林芝",
    "乌鲁木齐 克拉玛依 喀什 伊宁",
    "兰州 天水 酒泉 嘉峪关",
    "银川 石嘴山 吴忠",
    "南京 苏州 无锡 常州 南通 扬州 徐州",
    "南昌 九江 赣州 景德镇 上饶",
    "杭州 宁波 温州 绍兴 嘉兴 金华 台州",
    "贵阳 遵义 六盘水 安顺",
    "合肥 芜湖 蚌埠 安庆 马鞍山",
    "西宁 格尔木",
    "海口 三亚 儋州",
    "福州 厦门 泉州 漳州 莆田",
    "西安 宝鸡 咸阳 延安 汉中",
    "沈阳 大连 鞍山 抚顺 锦州",
    "长春 吉林 四平 延吉",
    "哈尔滨 齐齐哈尔 大庆 牡丹江 佳木斯",
    "呼和浩特 包头 鄂尔多斯 赤峰",
};
// Rough share of the profession per province, same order.
const int kProvinceWeights[] = {14, 12, 4, 5, 7, 5, 8, 3, 14, 3, 5, 5, 7, 3, 1, 2,
                                2,  1,  9, 3, 9, 2, 4, 1, 1,  5, 4, 4, 2, 3, 2};
const char kSpecialities[] =
    "税务 法律顾问 行政复议 房地产 工商事务 生物工程业 建筑 医院改制 电子商务 金融业 知识产权 反倾销反补贴 "
    "证券 国际贸易 劳动争议 电信业 医疗卫生 经济犯罪辩护 保险 海商海事 基础设施 航空业 项目融资 "
    "企事业单位改制 信托 政府事务 医疗纠纷 旅游业 风险投资 合同与债权债务 投资 诉讼/仲裁 婚姻家庭 行政诉讼 "
    "投资与融资 能源和自然资源 医药 招标与投标 兼并与收购 国家赔偿 传媒与娱乐业 国际金融衍生工具";
const char kHongKongAreas[] =
    "行政法 仲裁/调解 破产 大厦管理 中国委托公证人 婚姻监礼人 民事申索 公司法/商业法 消费者保障 物业转易 "
    "刑法 雇佣法 家事法 监护 入境 知识产权 业主与租客 公证人 人身伤害 遗嘱与遗产事务";
const char kSurnames[] =
    "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 彭 曾 肖 田 "
    "董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 方 白 邹 "
    "孟 熊 秦 邱 江 尹 薛 段 雷 侯 龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 武 戴 莫 孔 向 汤";
const char kMaleChars[] = "伟 强 磊 军 洋 勇 杰 涛 明 超 刚 平 辉 鹏 华 飞 鑫 波 斌 宇 浩 凯 健 俊 帆 帅 旭 宁 龙 林 "
                          "建 国 志 文 海 峰 东 亮 成 斌 德 晨 博 毅 振 立 新 卫 荣 庆 永 生 春 远 兵 岩 松 江 山 正";
const char kFemaleChars[] = "芳 娜 敏 静 丽 艳 娟 霞 秀 英 玲 燕 萍 红 梅 琳 莉 婷 雪 慧 颖 倩 洁 琴 云 丹 蕾 薇 晶 欣 "
                            "佳 悦 怡 宁 璐 瑶 雯 岚 菲 蓉 珊 凤 兰 君 月 莹 露 清 华 晓 文 思 雅";
const char kRoads[] = "人民 中山 解放 建设 和平 新华 长江 黄河 文化 胜利 青年 光明 朝阳 友谊 民主 团结 复兴 振兴 "
                      "建国 滨江 湖滨 东风 西湖 南湖 金融 世纪 科技 迎宾 府前 育才";
const char kBuildings[] = "国际大厦 金融中心 商务大厦 世纪广场 财富中心 贸易大厦 时代广场 中心大厦 环球中心 银河大厦 "
                          "华都大厦 信息大厦 写字楼 总部大厦";
const char kDistricts[] = "城关 城南 城北 高新 新城 经济技术开发";
// Districts of the four municipalities, same order as the first four provinces.
const char *const kMunicipalDistricts[] = {
    "东城 西城 朝阳 海淀 丰台 石景山 通州 大兴",
    "黄浦 徐汇 长宁 静安 普陀 虹口 杨浦 浦东新",
    "和平 河东 河西 南开 河北 红桥 滨海新",
    "渝中 江北 南岸 九龙坡 沙坪坝 渝北 巴南",
};
const char kBrandFirst[] = "金 恒 正 天 华 明 诚 君 致 德 信 汇 众 宏 盛 鼎 瑞 泰 立 远 嘉 博 卓 睿 海 国 中 广 长 大";
const char kBrandSecond[] = "诚 信 平 和 达 通 成 正 泰 衡 律 明 远 德 安 源 航 策 鉴 方 元 正 本 理 法 义 铭 川";
const char kHongKongPosts[] = "合伙人 高级合伙人 管理合伙人 顾问律师 助理律师 事务律师 独资经营者 律师";
const char kHongKongDistricts[] = "中环 金钟 湾仔 铜锣湾 上环 尖沙咀 旺角 九龙湾 观塘 北角";
const char kHongKongStreets[] =
    "皇后大道中 德辅道中 干诺道中 雪厂街 遮打道 金钟道 轩尼诗道 告士打道 弥敦道 广东道 英皇道 海港道";
const char kMacaoAreas[] = "民事 商事 刑事 行政 劳动 家事 不动产 公司 知识产权 博彩 金融 税务 继承 仲裁";
const char kTaiwanAreas[] =
    "民事 刑事 家事 行政 劳动 智慧财产权 公司 金融 不动产 税务 保险 海商 医疗纠纷 继承 消费者保护";
// Taiwanese cities and counties, each with some of its districts or townships.
const char *const kTaiwanPlaces[][2] = {
    {"台北市", "中正区 大安区 信义区 中山区 松山区 内湖区 士林区 万华区"},
    {"新北市", "板桥区 新庄区 中和区 永和区 三重区 新店区 淡水区"},
    {"桃园市", "桃园区 中坜区 平镇区 八德区 龟山区"},
    {"台中市", "西屯区 北屯区 南屯区 西区 北区 丰原区"},
    {"台南市", "东区 中西区 北区 安平区 永康区 新营区"},
    {"高雄市", "前镇区 苓雅区 新兴区 三民区 左营区 凤山区 鼓山区"},
    {"基隆市", "仁爱区 信义区 中正区 安乐区"},
    {"新竹市", "东区 北区 香山区"},
    {"嘉义市", "东区 西区"},
    {"新竹县", "竹北市 竹东镇 新埔镇"},
    {"苗栗县", "苗栗市 头份市 竹南镇"},
    {"彰化县", "彰化市 员林市 鹿港镇"},
    {"南投县", "南投市 埔里镇 草屯镇"},
    {"云林县", "斗六市 虎尾镇 北港镇"},
    {"嘉义县", "太保市 朴子市 民雄乡"},
    {"屏东县", "屏东市 潮州镇 东港镇"},
    {"宜兰县", "宜兰市 罗东镇 苏澳镇"},
    {"花莲县", "花莲市 吉安乡 玉里镇"},
    {"台东县", "台东市 成功镇 关山镇"},
};
const char kTaiwanRoads[] = "中山路 中正路 民生路 民权路 复兴路 忠孝东路 信义路 仁爱路 和平东路 建国路 光复路 博爱路";
const char kTaiwanSections[] = "一段 二段 三段 四段 五段";

// Hong Kong romanisation of the names the generator uses.
struct Romanised
{
    const char *chinese;
    const char *latin;
};
const Romanised kHkSurnames[] = {
    {"陈", "CHAN"},  {"李", "LEE"},  {"张", "CHEUNG"}, {"黄", "WONG"},    {"王", "WONG"},       {"刘", "LAU"},
    {"林", "LAM"},   {"吴", "NG"},   {"梁", "LEUNG"},  {"何", "HO"},      {"郑", "CHENG"},      {"杨", "YEUNG"},
    {"周", "CHAU"},  {"谢", "TSE"},  {"罗", "LAW"},    {"叶", "YIP"},     {"邓", "TANG"},       {"冯", "FUNG"},
    {"曾", "TSANG"}, {"蔡", "CHOI"}, {"袁", "YUEN"},   {"许", "HUI"},     {"潘", "POON"},       {"朱", "CHU"},
    {"马", "MA"},    {"郭", "KWOK"}, {"麦", "MAK"},    {"卢", "LO"},      {"莫", "MOK"},        {"钟", "CHUNG"},
    {"苏", "SO"},    {"甘", "KAM"},  {"余", "YU"},     {"司徒", "SZETO"}, {"欧阳", "AU YEUNG"},
};
const Romanised kHkGiven[] = {
    {"伟", "Wai"},  {"明", "Ming"}, {"文", "Man"},   {"志", "Chi"},   {"家", "Ka"},    {"嘉", "Ka"},  {"国", "Kwok"},
    {"华", "Wah"},  {"建", "Kin"},  {"俊", "Chun"},  {"德", "Tak"},   {"永", "Wing"},  {"燕", "Yin"}, {"美", "Mei"},
    {"玲", "Ling"}, {"慧", "Wai"},  {"淑", "Suk"},   {"芳", "Fong"},  {"丽", "Lai"},   {"敏", "Man"}, {"雅", "Nga"},
    {"诗", "Sze"},  {"颖", "Wing"}, {"欣", "Yan"},   {"静", "Ching"}, {"浩", "Ho"},    {"杰", "Kit"}, {"健", "Kin"},
    {"荣", "Wing"}, {"辉", "Fai"},  {"强", "Keung"}, {"达", "Tat"},   {"晓", "Hiu"},   {"子", "Tsz"}, {"海", "Hoi"},
    {"宝", "Po"},   {"安", "On"},   {"立", "Lap"},   {"礼", "Lai"},   {"卓", "Cheuk"}, {"思", "Sze"}, {"咏", "Wing"},
};
const char kWesternNames[] =
    "Peter David Michael Paul John Stephen Raymond Kenneth Vincent Eric Alan Patrick Anthony Edmund "
    "Mary Grace Karen Winnie Fiona Connie Joyce Alice Irene Cecilia Vivian Teresa Rebecca Helen";
const char kPortugueseGiven[] = "António João José Manuel Carlos Luís Pedro Rui Ana Maria Isabel Teresa Sofia Rita";
const char kPortugueseSurnames[] =
    "Silva Santos Ferreira Pereira Costa Rodrigues Martins Sousa Fernandes Gonçalves Lopes Marques Almeida Ribeiro";

} // namespace generatorwords
