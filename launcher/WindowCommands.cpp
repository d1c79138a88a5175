#include "launcher/WindowCommands.h"

#include "app/Datemodule.h"
#include "data/DataSource.h"
#include "launcher/About.h"
#include "launcher/Mzsm.h"
#include "launcher/One.h"
#include "query/Dl_lawroom.h"
#include "query/Dl_lawyer.h"
#include "query/Hongkong_lawroom.h"
#include "query/Hongkong_lawyer.h"
#include "query/Macao_lawyer.h"
#include "query/Taiwan_lawyer.h"

#include <QPushButton>

// Adding a window to the launcher is one line here (plus its header):
//
//     {&TF_one::Button1, openWith<TF_Lawyer>(F_Lawyer), &TDM::AQ_lawyer, &TDM::DS_lawyer},
//
// the button that opens it (and is disabled while the window is open), the window class with its
// global pointer, and the data-module query and data source that it is handed (nullptr for
// none). A button without a line here does nothing.
const std::vector<WindowCommand> &windowCommands()
{
    static const std::vector<WindowCommand> commands{
        {&TF_one::Button1, openWith<TF_Lawyer>(F_Lawyer), &TDM::AQ_lawyer, &TDM::DS_lawyer},
        {&TF_one::Button5, openWith<TF_lawRoom>(F_lawRoom), &TDM::AQ_lawRoom, &TDM::DS_lawRoom},
        {&TF_one::Button2, openWith<TF_HKlawyer>(F_HKlawyer), &TDM::AQ_HKlawyer, &TDM::DS_HKlawyer},
        {&TF_one::Button6, openWith<TF_HKlawRoom>(F_HKlawRoom), &TDM::AQ_HKlawRoom, &TDM::DS_HKlawRoom},
        {&TF_one::Button4, openWith<TF_Mclawyer>(F_Mclawyer), &TDM::AQ_MClawyer, &TDM::DS_MClawyer},
        {&TF_one::Button3, openWith<TF_TwLawyer>(F_TwLawyer), &TDM::AQ_TWlawyer, &TDM::DS_TWlawyer},
        {&TF_one::Button11, openWith<TF_Mzsm>(F_Mzsm), nullptr, nullptr},
        {&TF_one::Button12, openWith<TF_About>(F_About), nullptr, nullptr},
    };
    return commands;
}

void runWindowCommand(TF_one *launcher, QPushButton *TF_one::*button)
{
    for (const WindowCommand &command : windowCommands()) {
        if (command.button != button)
            continue;
        Query *query = (DM && command.query) ? DM->*command.query : nullptr;
        DataSource *dataSource = (DM && command.dataSource) ? DM->*command.dataSource : nullptr;
        command.open(launcher->*button, query, dataSource);
        if (dataSource)
            dataSource->setEnabled(true);
        (launcher->*button)->setEnabled(false);
        return;
    }
}
