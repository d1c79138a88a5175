#include "data/jet/DirectorySchema.h"

namespace jet {

namespace {

ColumnDef text(const char *name)
{
    return ColumnDef{QString::fromLatin1(name), jet::kText, 255};
}

ColumnDef memo(const char *name)
{
    return ColumnDef{QString::fromLatin1(name), jet::kMemo, 0};
}

} // namespace

const std::vector<TableDef> &directorySchema()
{
    // Addresses and partner lists can outgrow 255 characters, hence Memo.
    static const std::vector<TableDef> tables = {
        {QStringLiteral("lawyer"),
         {ColumnDef{QStringLiteral("l_id"), jet::kLong, 0}, text("l_realName"), text("l_sex"), text("l_province"),
          text("l_city"), memo("l_address"), text("l_domain")}},
        {QStringLiteral("lawRoom"),
         {text("lr_Name"), text("lr_director"), text("lr_city"), text("lr_province"), text("lr_WebSite"),
          text("lr_domain")}},
        {QStringLiteral("Hongkong"), {text("h_name"), text("h_post"), memo("h_address"), text("h_domain")}},
        {QStringLiteral("HongkongLawyerInfo"), {text("hl_name"), memo("hl_copartner"), text("hl_domain")}},
        {QStringLiteral("Macao"),
         {text("mc_name"), ColumnDef{QStringLiteral("mc_date"), jet::kDateTime, 0},
          ColumnDef{QStringLiteral("mc_reg_date"), jet::kDateTime, 0}, text("mc_class"), text("mc_domain")}},
        {QStringLiteral("Taiwan"),
         {text("tw_name"), text("tw_sex"), text("tw_city"), memo("tw_address"), text("tw_domain")}},
    };
    return tables;
}

} // namespace jet
