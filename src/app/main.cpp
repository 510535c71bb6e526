// zentab: the window program. Creates the main window and the hidden about box, runs the
// event loop, and ends the process once the main window has closed and saved its settings.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/aboutbox.h"
#include "app/application.h"
#include "app/mainform.h"
#include "platform/tempfiles.h"
#ifdef ZENTAB_HAVE_ENGINE
#include "engine/mdbengine.h"
#endif

int main(int argc, char** argv) {
  using namespace zentab::app;
  zentab::platform::OpenMissingStandardStreams();
  // Every argument is a path: Qt sees only the program's name, so none of its own options
  // (-title, -reverse, -platform and the like) is taken out of the intake.
  // The window is Japanese: its messages, and those of the reader processes it starts, are
  // the Japanese ones whatever the user's language.
  ::setenv("LANGUAGE", "ja", 1);
  static char programName[] = "zentab";
  char* qtArgv[] = {argc > 0 ? argv[0] : programName, nullptr};
  int qtArgc = 1;
  TApplication app(qtArgc, qtArgv);
  // A signal removes any temporary report before the process ends.
  zentab::platform::InstallTemporaryFileCleanup();
#ifdef ZENTAB_HAVE_ENGINE
  zentab::engine::RegisterMdbEngine();
#endif

  auto* mainForm = new TMainForm(argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                                          : std::vector<std::string>{});
  auto* aboutBox = new TAboutBox(mainForm);
  mainForm->SetAboutBox(aboutBox);
  mainForm->show();
  int status = app.exec();

  // Destroying the window saves its settings. A job still running may be waiting for the
  // event loop that has just ended; it is not waited for and ends with the process, before
  // anything it uses is torn down.
  delete mainForm;
  // A report still being written under a temporary name goes with the window.
  zentab::platform::RemoveTemporaryFiles();
  std::fflush(nullptr);
  std::_Exit(status);
}
