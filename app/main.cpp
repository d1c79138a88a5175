#include "app/Application.h"
#include "app/Datemodule.h"
#include "launcher/One.h"
#include "platform/Appearance.h"

#include <QIcon>

int main(int argc, char **argv)
{
    Application app(argc, argv);
    Q_INIT_RESOURCE(lss);
    return app.Execute([&app] {
        app.setTitle(QStringLiteral("青穹阁信息查询系统V1.0"));
        installAppearance();
        QIcon icon;
        for (int size : {16, 32, 48})
            icon.addFile(QStringLiteral(":/icons/lss%1.png").arg(size), QSize(size, size));
        app.setWindowIcon(icon);
        // The data module first: the launcher's windows expect an open database.
        app.CreateForm(DM);
        app.CreateForm(F_one);
    });
}
