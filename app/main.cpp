#include "app/Application.h"

#include <QLabel>

int main(int argc, char **argv)
{
    Application app(argc, argv);
    app.setTitle(QStringLiteral("青穹阁信息查询系统V1.0"));
    auto *label = new QLabel(QStringLiteral("青穹阁信息查询系统"));
    app.adopt(label);
    label->show();
    app.Run();
    return 0;
}
