#include "query/Dl_lawyer.h"

TF_Lawyer *F_Lawyer = nullptr;

TF_Lawyer::TF_Lawyer(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyer/findlawyer.jsp");

    d.fuzzyEdit = Edit1;
    d.fuzzyButton = BitBtn1;
    d.fuzzySelect = QStringLiteral("SELECT l_realName,l_sex,l_province,l_city,l_domain FROM lawyer");
    d.enterSelect = QStringLiteral("SELECT l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain FROM lawyer");
    d.fuzzyMessage = QStringLiteral("搜索内容不能为空");
    d.fuzzyChoices = {
        {RadioButton1, QStringLiteral("WHERE l_realName like '%")},
        {RadioButton2, QStringLiteral("WHERE l_city like '%")},
        {RadioButton3, QStringLiteral("WHERE l_province like '%")},
        {RadioButton4, QStringLiteral("WHERE l_domain like '%")},
    };

    d.criteriaSelect = QStringLiteral("SELECT l_realName,l_sex,l_province,l_city,l_domain FROM lawyer where 1=1");
    d.criteria = {
        QueryCriterion::byParameter(CheckBox1, xm, QStringLiteral("姓名已选择,不能为空"),
                                    QStringLiteral("and l_realName =:name"), QStringLiteral("name")),
        QueryCriterion::byParameter(CheckBox2, city, QStringLiteral("城市已选择,不能为空"),
                                    QStringLiteral("and l_city = :city"), QStringLiteral("city")),
        QueryCriterion::byParameter(CheckBox3, province, QStringLiteral("省份已选择,不能为空"),
                                    QStringLiteral("and l_province = :province"), QStringLiteral("province")),
        QueryCriterion::byParameter(CheckBox4, domain, QStringLiteral("专长已选择,不能为空"),
                                    QStringLiteral("and l_domain = :domain"), QStringLiteral("domain")),
    };

    QFont nameFont(QStringLiteral("宋体"));
    nameFont.setPixelSize(12);
    GridColumn name{QStringLiteral("l_realName"), QStringLiteral("律师姓名"), 120, nameFont, QColor()};
    d.grid = DBGrid1;
    d.columns = {
        name,
        {QStringLiteral("l_sex"), QStringLiteral("性别"), 70, std::nullopt, QColor()},
        {QStringLiteral("l_province"), QStringLiteral("省份"), 70, std::nullopt, QColor()},
        {QStringLiteral("l_city"), QStringLiteral("城市"), 70, std::nullopt, QColor()},
        {QStringLiteral("l_domain"), QStringLiteral("专长"), 150, std::nullopt, QColor()},
    };
    d.widthsAtCreation = {120, 70, 70, 70, 150};
    d.dropDownOnTyping = {domain};

    declare(d);
}

TF_Lawyer::~TF_Lawyer()
{
    if (F_Lawyer == this)
        F_Lawyer = nullptr;
}
