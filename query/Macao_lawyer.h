#pragma once

#include "query/QueryForm.h"
#include "ui_Macao_lawyer.h"

// Macao lawyers: one search by name and practice area. The practice area is searched but
// neither fetched nor shown.
class TF_Mclawyer : public QueryForm, public Ui_TF_Mclawyer
{
    Q_OBJECT
public:
    TF_Mclawyer(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_Mclawyer() override;
};

extern TF_Mclawyer *F_Mclawyer;
