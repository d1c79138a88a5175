#pragma once

#include "query/QueryForm.h"
#include "ui_Dl_lawyer.h"

// Mainland lawyers: fuzzy search on one column, exact search on any of four.
class TF_Lawyer : public QueryForm, public Ui_TF_Lawyer
{
    Q_OBJECT
public:
    TF_Lawyer(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_Lawyer() override;
};

extern TF_Lawyer *F_Lawyer;
