#include "query/Hongkong_lawroom.h"

TF_HKlawRoom *F_HKlawRoom = nullptr;

TF_HKlawRoom::TF_HKlawRoom(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyerroom/findlawyerroom_xg_list.jsp?xg_id=12");

    d.criteriaSelect = QStringLiteral("SELECT hl_name,hl_copartner FROM HongkongLawyerInfo where 1=1");
    d.criteria = {
        QueryCriterion::byLike(CheckBox1, xm, QStringLiteral("律所名称已选择,不能为空"),
                               QStringLiteral("and hl_name like '%")),
        QueryCriterion::byLike(CheckBox2, domain, QStringLiteral("法域已选择,不能为空"),
                               QStringLiteral("and hl_domain like '%")),
    };

    d.grid = DBGrid3;
    d.columns = {
        {QStringLiteral("hl_name"), QStringLiteral("律所名称"), 317, std::nullopt, {}},
        {QStringLiteral("hl_copartner"), QStringLiteral("合伙人"), 338, std::nullopt, {}},
    };
    d.widthsAtCreation = {200, 200};

    declare(d);
}

TF_HKlawRoom::~TF_HKlawRoom()
{
    if (F_HKlawRoom == this)
        F_HKlawRoom = nullptr;
}
