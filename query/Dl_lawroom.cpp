#include "query/Dl_lawroom.h"

#include "data/Query.h"
#include "platform/Shell.h"

TF_lawRoom *F_lawRoom = nullptr;

namespace {
const QString kSelect =
    QStringLiteral("SELECT lr_Name,lr_director,lr_city,lr_province,lr_WebSite,lr_domain FROM lawRoom");
}

TF_lawRoom::TF_lawRoom(Query *query, DataSource *dataSource, QWidget *parent) : QueryForm(query, dataSource, parent)
{
    setupUi(this);

    QueryFormDeclaration d;
    d.controls = QueryFormControls::from(*this);
    d.pagePath = QStringLiteral("/quillhall/findlawyerroom/findlawyerroom.jsp");

    d.fuzzyEdit = Edit1;
    d.fuzzyButton = BitBtn1;
    // The Enter key fetches what the button fetches.
    d.fuzzySelect = kSelect;
    d.enterSelect = kSelect;
    d.fuzzyMessage = QStringLiteral("搜索内容不能为空");
    d.fuzzyChoices = {
        {RadioButton1, QStringLiteral("WHERE lr_Name like '%")},
        {RadioButton2, QStringLiteral("WHERE lr_city like '%")},
        {RadioButton3, QStringLiteral("WHERE lr_province like '%")},
        {RadioButton4, QStringLiteral("WHERE lr_domain like '%")},
    };

    d.criteriaSelect = kSelect + QStringLiteral(" where 1=1");
    d.criteria = {
        QueryCriterion::byParameter(CheckBox1, xm, QStringLiteral("律师事务所名称已选择,不能为空"),
                                    QStringLiteral("and lr_name =:name"), QStringLiteral("name")),
        QueryCriterion::byParameter(CheckBox2, city, QStringLiteral("城市已选择,不能为空"),
                                    QStringLiteral("and lr_city = :city"), QStringLiteral("city")),
        QueryCriterion::byParameter(CheckBox3, province, QStringLiteral("省份已选择,不能为空"),
                                    QStringLiteral("and lr_province = :province"), QStringLiteral("province")),
        QueryCriterion::byParameter(CheckBox4, domain, QStringLiteral("专长已选择,不能为空"),
                                    QStringLiteral("and lr_domain = :domain"), QStringLiteral("domain")),
    };

    QFont cell(QStringLiteral("MS Sans Serif"));
    cell.setPixelSize(13);
    QFont link = cell;
    link.setUnderline(true);
    const QColor black(Qt::black);
    d.grid = DBGrid1;
    // Firm names in blue and underlined: a double-click there opens the firm's site.
    d.columns = {
        {QStringLiteral("lr_Name"), QStringLiteral("律所名称"), 170, link, QColor(Qt::blue)},
        {QStringLiteral("lr_director"), QStringLiteral("主任"), 70, cell, black},
        {QStringLiteral("lr_city"), QStringLiteral("城市"), 70, cell, black},
        {QStringLiteral("lr_province"), QStringLiteral("省份"), 70, cell, black},
        {QStringLiteral("lr_domain"), QStringLiteral("专长"), 150, cell, black},
    };
    d.widthsAtCreation = {170, 70, 70, 70, 150};
    d.gridFontPixels = 16;
    d.titleFontPixels = 11;
    d.dropDownOnTyping = {domain};

    declare(d);
}

TF_lawRoom::~TF_lawRoom()
{
    if (F_lawRoom == this)
        F_lawRoom = nullptr;
}

// Only the firm-name field (the first of every statement here) links to the site, and only the
// current cell counts, which the first click of the double-click has just set.
void TF_lawRoom::DBGrid1DblClick()
{
    if (DBGrid1->selectedField().isEmpty())
        return;
    if (DBGrid1->selectedFieldPosition() != 1)
        return;
    const QString site = query()->FieldByName(QStringLiteral("lr_WebSite"));
    if (!Shell::isWebAddress(site))
        return;
    Shell::instance().execute(this, QStringLiteral("open"), site, ShowCommand::MinNoActive);
}
