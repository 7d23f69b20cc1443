// ricostruisci-velko: rebuilds the suite's company registry from the company
// archives found in the program's own directory. This file only wires the
// rebuild to the window and to this system.
#include <QApplication>

#include "rebuild/ok_handler.h"
#include "rebuild/platform.h"
#include "ui/form1.h"
#include "ui/posix_file_list.h"
#include "ui/posix_file_system.h"
#include "ui/qt_ui.h"

namespace {

// The registry build and its installation do not exist yet: with companies
// found, a click on "OK" ends here and the window is idle again.
class RegistryRebuildNotYetAvailable final : public rebuild::RegistryRebuild {
  public:
    void Run(const rebuild::FoundCompanies &) override {}
};

}  // namespace

int main(int argc, char **argv) {
    QApplication application(argc, argv);

    ui::QtUi qt_ui;
    posix::PosixFileSystem file_system;
    posix::PosixFileList file1;
    rebuild::Platform platform{qt_ui, file_system, file1};
    RegistryRebuildNotYetAvailable registry_rebuild;
    rebuild::OkHandler ok_handler(platform, registry_rebuild);

    ui::Form1 form([&] { qt_ui.RunHandler([&] { ok_handler.Run(); }); },
                   [&] { qt_ui.EndProgram(); });
    qt_ui.SetWindow(&form);
    form.show();
    return application.exec();
}
