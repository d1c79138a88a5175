#include "query/Macao_lawyer.h"

TF_Mclawyer *F_Mclawyer = nullptr;

TF_Mclawyer::TF_Mclawyer(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyer/findlawyer_am.jsp?am_id=8");

    d.criteriaSelect = QStringLiteral("SELECT mc_name,mc_date,mc_reg_date,mc_class FROM Macao where 1=1");
    d.criteria = {
        QueryCriterion::byLike(CheckBox1, xm, QStringLiteral("姓名已选择,不能为空"),
                               QStringLiteral("and mc_name like '%")),
        QueryCriterion::byLike(CheckBox2, domain, QStringLiteral("专业领域已选择,不能为空"),
                               QStringLiteral("and mc_domain like '%")),
    };

    d.grid = DBGrid1;
    d.columns = {
        {QStringLiteral("mc_name"), QStringLiteral("律师名字"), 80, std::nullopt, {}},
        {QStringLiteral("mc_date"), QStringLiteral("执业日期"), 80, std::nullopt, {}},
        {QStringLiteral("mc_reg_date"), QStringLiteral("注册日期"), 80, std::nullopt, {}},
        {QStringLiteral("mc_class"), QStringLiteral("分类"), 80, std::nullopt, {}},
    };
    d.widthsAtCreation = {100, 100, 100, 100};

    declare(d);
}

TF_Mclawyer::~TF_Mclawyer()
{
    if (F_Mclawyer == this)
        F_Mclawyer = nullptr;
}
