#include "query/Hongkong_lawyer.h"

TF_HKlawyer *F_HKlawyer = nullptr;

TF_HKlawyer::TF_HKlawyer(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyer/findlawyer_xg.jsp?xg_id=7");

    d.criteriaSelect = QStringLiteral("SELECT h_name,h_post,h_address,h_domain FROM Hongkong where 1=1");
    d.criteria = {
        QueryCriterion::byLike(CheckBox1, xm, QStringLiteral("姓名已选择,不能为空"),
                               QStringLiteral("and h_name like '%")),
        QueryCriterion::byLike(CheckBox2, domain, QStringLiteral("专业领域已选择,不能为空"),
                               QStringLiteral("and h_domain like '%")),
    };

    d.grid = DBGrid1;
    d.columns = {
        {QStringLiteral("h_name"), QStringLiteral("律师名称"), 90, std::nullopt, {}},
        {QStringLiteral("h_post"), QStringLiteral("职位"), 68, std::nullopt, {}},
        {QStringLiteral("h_address"), QStringLiteral("联系地址"), 269, std::nullopt, {}},
        {QStringLiteral("h_domain"), QStringLiteral("专业领域"), 93, std::nullopt, {}},
    };
    d.widthsAtCreation = {90, 68, 310, 100};

    declare(d);
}

TF_HKlawyer::~TF_HKlawyer()
{
    if (F_HKlawyer == this)
        F_HKlawyer = nullptr;
}
