#include "app/RunRegistration.h"

#include "ui/Application.h"

#include <memory>

int RunRegistration(ui::UI_APPLICATION&)
{
    std::unique_ptr<ui::ResourceStore> store(ui::OpenResourceStore());
    if (store->Error())
        return -1;
    ui::resourceStore = nullptr;
    return 0;
}
