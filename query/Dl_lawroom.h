#pragma once

#include "query/QueryForm.h"
#include "ui_Dl_lawroom.h"

// Mainland law firms: the searches of the lawyer window, and a double-click on a firm's name
// opens the firm's web site.
class TF_lawRoom : public QueryForm, public Ui_TF_lawRoom
{
    Q_OBJECT
public:
    TF_lawRoom(Query *query, DataSource *dataSource, QWidget *parent = nullptr);
    ~TF_lawRoom() override;

    void DBGrid1DblClick() override;
};

extern TF_lawRoom *F_lawRoom;
