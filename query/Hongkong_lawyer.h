#pragma once

#include "query/QueryForm.h"
#include "ui_Hongkong_lawyer.h"

// Hong Kong lawyers: one search by name and practice area, each matched anywhere in the column.
class TF_HKlawyer : public QueryForm, public Ui_TF_HKlawyer
{
    Q_OBJECT
public:
    TF_HKlawyer(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_HKlawyer() override;
};

extern TF_HKlawyer *F_HKlawyer;
