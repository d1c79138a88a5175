#include "query/Taiwan_lawyer.h"

TF_TwLawyer *F_TwLawyer = nullptr;

TF_TwLawyer::TF_TwLawyer(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyer/findlawyer_tw.jsp?tw_id=9");

    d.criteriaSelect = QStringLiteral("SELECT tw_name,tw_sex,tw_city,tw_address,tw_domain FROM Taiwan where 1=1");
    d.criteria = {
        QueryCriterion::byLike(CheckBox1, xm, QStringLiteral("姓名已选择,不能为空"),
                               QStringLiteral("and tw_name like '%")),
        QueryCriterion::byLike(CheckBox2, domain, QStringLiteral("专业领域已选择,不能为空"),
                               QStringLiteral("and tw_domain like '%")),
    };

    d.grid = DBGrid1;
    d.columns = {
        {QStringLiteral("tw_name"), QStringLiteral("律师姓名"), 80, std::nullopt, {}},
        {QStringLiteral("tw_sex"), QStringLiteral("性别"), 50, std::nullopt, {}},
        {QStringLiteral("tw_city"), QStringLiteral("城市"), 50, std::nullopt, {}},
        {QStringLiteral("tw_address"), QStringLiteral("地址"), 150, std::nullopt, {}},
        {QStringLiteral("tw_domain"), QStringLiteral("特长"), 240, std::nullopt, {}},
    };
    d.widthsAtCreation = {80, 50, 50, 260, 260};
    d.placement = QueryFormDeclaration::Placement::LauncherCentre;

    declare(d);
}

TF_TwLawyer::~TF_TwLawyer()
{
    if (F_TwLawyer == this)
        F_TwLawyer = nullptr;
}
