#pragma once

#include "query/QueryForm.h"
#include "ui_Hongkong_lawroom.h"

// Hong Kong law firms: one search by firm name and legal field. The legal field is searched
// but neither fetched nor shown.
class TF_HKlawRoom : public QueryForm, public Ui_TF_HKlawRoom
{
    Q_OBJECT
public:
    TF_HKlawRoom(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_HKlawRoom() override;
};

extern TF_HKlawRoom *F_HKlawRoom;
