// ricostruisci-velko: rebuilds the suite's company registry from the company
// archives found in the program's own directory. This file only wires the
// rebuild to the window and to this system.
#include <QApplication>
#include <memory>

#include "rebuild/ok_handler.h"
#include "rebuild/platform.h"
#include "rebuild/registry_rebuild.h"
#include "ui/form1.h"
#include "ui/posix_file_list.h"
#include "ui/posix_file_system.h"
#include "ui/posix_store_library.h"
#include "ui/qt_ui.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);

    ui::QtUi qt_ui;
    posix::PosixFileSystem file_system;
    posix::PosixFileList file1;
    rebuild::Platform platform{qt_ui, file_system, file1};
    rebuild::RegistryRebuilder registry_rebuild(
        platform, [] { return std::make_unique<posix::PosixStoreLibrary>(); });
    rebuild::OkHandler ok_handler(platform, registry_rebuild);

    ui::Form1 form([&] { qt_ui.RunHandler([&] { ok_handler.Run(); }); },
                   [&] { qt_ui.EndProgram(); });
    qt_ui.SetWindow(&form);
    form.show();
    return application.exec();
}
