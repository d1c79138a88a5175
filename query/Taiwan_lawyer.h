#pragma once

#include "query/QueryForm.h"
#include "ui_Taiwan_lawyer.h"

// Taiwan lawyers: one search by name and speciality; the window opens over the launcher.
class TF_TwLawyer : public QueryForm, public Ui_TF_TwLawyer
{
    Q_OBJECT
public:
    TF_TwLawyer(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_TwLawyer() override;
};

extern TF_TwLawyer *F_TwLawyer;
